// The merge program's output and its tags, through the real program: formats that exiftool
// cannot write are left untagged without a word from it, and a tag copy that fails is a
// warning that names the output by its own name while the merge still succeeds.
#include "output/ExiftoolCommand.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <string>
#include <vector>

using namespace tl;

namespace {

namespace fs = std::filesystem;

const std::string exiftool = "/usr/bin/exiftool";

class MergedImageTags : public ::testing::Test {
protected:
    TempFolder folder;
    std::vector<std::string> burst;

    // Two small photographs of a gradient, the first tagged like a camera's.
    void SetUp() override {
        fs::create_directory(folder.path() / "app");
        cv::Mat image(24, 32, CV_8UC3);
        for (int y = 0; y < image.rows; ++y)
            for (int x = 0; x < image.cols; ++x) image.at<cv::Vec3b>(y, x) = cv::Vec3b(x * 8, y * 10, 128);
        for (const char* name : {"a.jpg", "b.jpg"}) {
            burst.push_back(folder.file(name));
            ASSERT_TRUE(cv::imwrite(burst.back(), image));
        }
        ASSERT_EQ(runProgram(exiftool, {"-q", "-overwrite_original", "-Make=Burst Camera", burst[0]}), 0);
    }

    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }

    int merge(const std::string& output, const std::string& bits) const {
        std::vector<std::string> call = {"-o", output, "--instant", burst[0], "--bits", bits,
                                         "--log-dir", folder.file("app")};
        call.insert(call.end(), burst.begin(), burst.end());
        return runProgram(TL_TESSALINE_BIN, call, "", folder.file("stderr.txt"));
    }

    // The Make tag of file, "-" when it has none (exiftool reads some formats not at all).
    std::string make(const std::string& file) const {
        const std::string out = folder.file("make.txt");
        runProgram(exiftool, {"-T", "-Make", file}, out, "/dev/null");
        return readFile(out).empty() ? "-\n" : readFile(out);
    }
};

// Each format the writers make: tagged when exiftool writes it, and written without tags
// and without any error line otherwise.
TEST_F(MergedImageTags, FormatsExiftoolCannotWriteAreLeftUntaggedWithoutAnError) {
    const std::vector<std::pair<std::string, std::string>> outputs = {
        {"m.jpg", "8"}, {"m.png", "16"}, {"m.tif", "16"}, {"m.webp", "8"}, {"m.psd", "8"}, {"m.ppm", "8"},
        {"m.hdr", "32"}, {"m.exr", "32"}, {"m.pfm", "32"}, {"m.bmp", "8"}, {"m.tga", "8"}, {"m.ras", "8"},
        {"m.sgi", "8"}, {"m.pcx", "8"}};
    for (const auto& [name, bits] : outputs) {
        const std::string output = folder.file(name);
        ASSERT_EQ(merge(output, bits), 0) << name << "\n" << log();
        ASSERT_TRUE(fs::exists(output)) << name;
        EXPECT_EQ(make(output), exiftoolWritesTagsInto(output) ? "Burst Camera\n" : "-\n") << name;
    }
    EXPECT_EQ(log().find("rror"), std::string::npos) << log();
    EXPECT_EQ(log().find("WARNING"), std::string::npos) << log();
    EXPECT_EQ(readFile(folder.file("stderr.txt")), "");
}

TEST_F(MergedImageTags, FailedTagCopyIsAWarningNamingTheOutput) {
    const std::string tools = folder.file("tools");
    fs::create_directory(tools);
    writeFile(tools + "/exiftool", "#!/bin/sh\nexit 0\n");
    fs::permissions(tools + "/exiftool", fs::perms::owner_all);
    const std::string output = folder.file("merged.jpg");
    MergeCall call;
    call.applicationFolder = folder.file("app");
    call.outputPath = output;
    call.outputBits = "8";
    call.instantPath = burst[0];
    call.exposures = burst;
    fs::create_directories(folder.file("app/App/Win"));
    fs::rename(tools, folder.file("app/App/Win/x86"));
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0) << log();
    EXPECT_FALSE(cv::imread(output).empty());
    EXPECT_NE(log().find("WARNING at function main => The tags of '" + burst[0] + "' could not be copied into '" +
                         output + "': exiftool could not write them into the file; the image is written without them."),
              std::string::npos)
        << log();
    EXPECT_EQ(log().find(".tl-"), std::string::npos) << log();
}

} // namespace
