// The fuzz target's corpus run through the loader in the ordinary suite: every seed
// format still loads, and every kept malformed file (names starting "bad-") still comes
// back empty without taking the process down.
#include "input/ImageLoader.hpp"
#include "tests/fuzz/FuzzInput.hpp"
#include "tests/input/CapturedStream.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <vector>

namespace {

TEST(FuzzCorpusTest, SeedsLoadAndMalformedFilesComeBackEmpty) {
    const std::filesystem::path corpus = std::filesystem::path(TL_SOURCE_DIR) / "tests/fuzz/corpus";
    TempFolder folder;
    auto output = std::make_unique<CapturedStream>(STDOUT_FILENO);
    std::vector<std::string> wrong;
    for (const auto& entry : std::filesystem::directory_iterator(corpus)) {
        const std::string bytes = readFile(entry.path());
        const FuzzFile file = fuzzFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        const std::string path = folder.file("input." + file.extension);
        writeFile(path, file.content);
        const std::string name = entry.path().filename().string();
        const cv::Mat image = loadImage(path);
        if (image.empty() != (name.rfind("bad-", 0) == 0)) wrong.push_back(name);
    }
    const std::string printed = output->text();
    output.reset(); // the test's own reports go to standard output
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " files, the first " << wrong.front();
}

} // namespace
