#include "tests/extract/KadrimoProgramTest.hpp"

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <filesystem>

namespace tl {

std::vector<std::string> numbered(int first, int last, int width) {
    std::vector<std::string> numbers;
    for (int i = first; i <= last; ++i) {
        std::string n = std::to_string(i);
        numbers.push_back(std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(n.size()))), '0') + n);
    }
    return numbers;
}

void KadrimoProgramTest::SetUp() {
    std::filesystem::create_directory(app());
    std::filesystem::create_directory(out());
}

std::vector<std::string> KadrimoProgramTest::arguments(const std::string& video, int s, int e, int d,
                                                       const std::string& base, const std::string& extension,
                                                       const std::string& outputFolder,
                                                       const std::string& listFile) const {
    return {"1",  std::to_string(s),
            std::to_string(e), std::to_string(d),
            video, outputFolder.empty() ? out() : outputFolder,
            base, extension,
            listFile.empty() ? list() : listFile, app()};
}

int KadrimoProgramTest::run(const std::string& video, int s, int e, int d, const std::string& base,
                            const std::string& extension, const std::string& outputFolder) {
    return runProgram(TL_KADRIMO_BIN, arguments(video, s, e, d, base, extension, outputFolder));
}

std::string KadrimoProgramTest::listOf(int count, const std::vector<std::string>& numbers, const std::string& base,
                                       const std::string& extension) const {
    std::string text = std::to_string(count);
    for (const auto& n : numbers) text += "\n" + out() + "/" + base + n + "." + extension;
    return text;
}

std::vector<std::string> KadrimoProgramTest::filesInOut() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(out())) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

std::string KadrimoProgramTest::indexedVideo(int frames, const std::string& fileName,
                                             const std::vector<std::string>& options, int width, int height) {
    const std::string video = makeIndexedVideo(folder.path().string(), fileName, frames, options, width, height);
    EXPECT_FALSE(video.empty());
    return video;
}

cv::Mat KadrimoProgramTest::written(int number, int width, const std::string& extension) const {
    return cv::imread(out() + "/base" + numbered(number, number, width)[0] + "." + extension, cv::IMREAD_UNCHANGED);
}

bool KadrimoProgramTest::logReports(const std::string& message) const {
    return readFile(log()).find("\nERROR at function main => " + message + "\n\n") != std::string::npos;
}

void KadrimoProgramTest::expectWindowOfSequentialFrames(const std::string& video, const std::vector<cv::Mat>& frames,
                                                        int s, int e, int d, int first, int count) {
    ASSERT_EQ(run(video, s, e, d), 0);
    const int width = count < 10 ? 1 : 2;
    EXPECT_EQ(readFile(list()), listOf(count, numbered(1, count, width)));
    for (int i = 1; i <= count; ++i) {
        const cv::Mat frame = written(i, width);
        ASSERT_FALSE(frame.empty()) << i;
        EXPECT_EQ(shownIndex(frame), first + i - 1);
        EXPECT_TRUE(samePixels(frame, frames[static_cast<std::size_t>(first + i - 1)])) << "file " << i;
    }
}

} // namespace tl
