#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BurstFiles.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

using namespace tl;

namespace {

namespace fs = std::filesystem;

bool isProgramCall(const std::string& text) {
    return text.starts_with("tessaline ") || text.starts_with("kadrimo ");
}

// The example commands of the README's "Use" section: its indented code lines that
// call one of the programs, as printed.
std::vector<std::string> readmeExamples() {
    std::istringstream text(readFile(std::string(TL_SOURCE_DIR) + "/README.md"));
    std::vector<std::string> examples;
    bool inUse = false;
    for (std::string line; std::getline(text, line);) {
        if (line.starts_with("## ")) inUse = line == "## Use";
        if (inUse && line.starts_with("    ") && isProgramCall(line.substr(4))) examples.push_back(line.substr(4));
    }
    return examples;
}

// The lines under "Examples:" in a program's --help, as printed after their "$ " prompt.
std::vector<std::string> helpExamples(const std::string& program, const TempFolder& folder) {
    const std::string out = folder.file(fs::path(program).filename().string() + "-help.txt");
    EXPECT_EQ(runProgram(program, {"--help"}, out), 0);
    std::istringstream text(readFile(out));
    std::vector<std::string> examples;
    bool inExamples = false;
    for (std::string line; std::getline(text, line);) {
        if (line.empty()) inExamples = false;
        if (inExamples && line.starts_with("  $ ") && isProgramCall(line.substr(4))) examples.push_back(line.substr(4));
        if (line == "Examples:") inExamples = true;
    }
    return examples;
}

// The value after -o in an example: the file or folder it makes.
std::string outputOf(const std::string& command) {
    std::istringstream words(command);
    for (std::string word; words >> word;)
        if (word == "-o" && words >> word) return word;
    return "";
}

// A folder holding what the examples name: a tagged burst in burst/ (frame01.jpg to
// frame05.jpg) and a short video, clip.mp4. Each example runs there through the shell,
// with the programs of this build first on PATH, and must succeed quietly and make
// what it names with -o.
class DocumentedExamples : public ::testing::Test {
protected:
    static inline TempFolder* folder = nullptr;

    static void SetUpTestSuite() {
        folder = new TempFolder;
        fs::create_directory(folder->path() / "burst");
        ASSERT_EQ(writeBurst(folder->file("burst"), {240, 160}, 5, true).size(), 5u);
        ASSERT_EQ(runProgram("/usr/bin/ffmpeg", {"-loglevel", "error", "-f", "lavfi", "-i",
                                                 "testsrc=duration=1:size=160x120:rate=10", "-pix_fmt",
                                                 "yuv420p", folder->file("clip.mp4")}),
                  0);
    }
    static void TearDownTestSuite() {
        delete folder;
        folder = nullptr;
    }

    void runAsPrinted(const std::vector<std::string>& examples) {
        const std::string programs = fs::path(TL_TESSALINE_BIN).parent_path().string();
        for (const std::string& example : examples) {
            const std::string output = outputOf(example);
            ASSERT_FALSE(output.empty()) << example;
            fs::remove_all(folder->path() / output);
            const std::string err = folder->file("stderr.txt");
            EXPECT_EQ(runProgram("/bin/sh", {"-c", "cd '" + folder->path().string() + "' && PATH='" + programs +
                                                       "':\"$PATH\" " + example},
                                 "", err),
                      0)
                << example << "\n" << readFile(err);
            EXPECT_EQ(readFile(err), "") << example;
            const fs::path made = folder->path() / output;
            std::error_code error;
            EXPECT_TRUE(fs::is_directory(made) ? !fs::is_empty(made) : fs::file_size(made, error) > 0) << example;
        }
    }
};

TEST_F(DocumentedExamples, ReadmeExamplesRunAsPrinted) {
    const std::vector<std::string> examples = readmeExamples();
    ASSERT_GE(examples.size(), 3u);
    runAsPrinted(examples);
}

TEST_F(DocumentedExamples, TessalineHelpExamplesRunAsPrinted) {
    const std::vector<std::string> examples = helpExamples(TL_TESSALINE_BIN, *folder);
    ASSERT_GE(examples.size(), 2u);
    runAsPrinted(examples);
}

TEST_F(DocumentedExamples, KadrimoHelpExamplesRunAsPrinted) {
    const std::vector<std::string> examples = helpExamples(TL_KADRIMO_BIN, *folder);
    ASSERT_GE(examples.size(), 2u);
    runAsPrinted(examples);
}

} // namespace
