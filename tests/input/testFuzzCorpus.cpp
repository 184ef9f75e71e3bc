// The fuzz target's corpus run through the loader in the ordinary suite: every seed
// format still loads, and every kept malformed file (names starting "bad-") still comes
// back empty without taking the process down. Run under valgrind (the test
// memcheckFuzzCorpus), it also shows any byte of a loaded image that no decoder wrote.
#include "input/ImageLoader.hpp"
#include "tests/fuzz/FuzzInput.hpp"
#include "tests/input/CapturedStream.hpp"
#include "tests/support/TempFolder.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <vector>

using namespace tl;

namespace {

// Every byte of the image goes through a write system call, where valgrind checks that
// it was defined; an ordinary run only loses them to /dev/null.
void handToTheKernel(const cv::Mat& image) {
    static const int sink = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    for (int y = 0; y < image.rows; ++y)
        if (::write(sink, image.ptr(y), image.cols * image.elemSize()) < 0) ADD_FAILURE() << "write";
}

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
        const cv::Mat image = loadImage(path).image;
        handToTheKernel(image);
        if (image.empty() != (name.rfind("bad-", 0) == 0)) wrong.push_back(name);
    }
    const std::string printed = output->text();
    output.reset(); // the test's own reports go to standard output
    EXPECT_EQ(printed, "");
    EXPECT_TRUE(wrong.empty()) << wrong.size() << " files, the first " << wrong.front();
}

} // namespace
