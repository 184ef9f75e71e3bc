#include "tests/extract/IndexedVideo.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <sstream>

namespace {

// The frame extractor started as the front end starts it.
class KadrimoProgram : public ::testing::Test {
protected:
    TempFolder folder;
    std::string app() const { return folder.file("app"); }
    std::string log() const { return folder.file("app/TessalineLog.txt"); }
    std::string out() const { return folder.file("out"); }
    std::string list() const { return folder.file("list.txt"); }

    void SetUp() override {
        std::filesystem::create_directory(app());
        std::filesystem::create_directory(out());
    }

    int run(const std::string& video, int s, int e, int d, const std::string& base = "base",
            const std::string& extension = "png", const std::string& outputFolder = "") {
        return runProgram(TL_KADRIMO_BIN,
                          {"1", std::to_string(s), std::to_string(e), std::to_string(d), video,
                           outputFolder.empty() ? out() : outputFolder, base, extension, list(), app()});
    }

    // The expected list file: the planned count, then out/base + number + ".png" for
    // each of the given numbers.
    std::string listOf(int planned, const std::vector<std::string>& numbers,
                       const std::string& base = "base") const {
        std::string text = std::to_string(planned);
        for (const auto& n : numbers) text += "\n" + out() + "/" + base + n + ".png";
        return text;
    }

    std::size_t filesInOut() const {
        return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(out()),
                                                      std::filesystem::directory_iterator()));
    }

    std::string indexedVideo(int frames) {
        const std::string video = makeIndexedVideo(folder.path().string(), "clip.avi", frames,
                                                   {"-c:v", "mjpeg", "-q:v", "3"});
        EXPECT_FALSE(video.empty());
        return video;
    }
};

std::vector<std::string> numbered(int first, int last, int width) {
    std::vector<std::string> numbers;
    for (int i = first; i <= last; ++i) {
        std::string n = std::to_string(i);
        numbers.push_back(std::string(static_cast<std::size_t>(std::max(0, width - static_cast<int>(n.size()))), '0') + n);
    }
    return numbers;
}

TEST_F(KadrimoProgram, FewerThanNinePositionsEndWithStatusOneAndTouchNothing) {
    const std::vector<std::string> full{"1", "0", "1000", "1000", folder.file("missing.avi"),
                                        out(), "base", "png", list()};
    // Six to eight positions lack names the run needs: treated like too few.
    for (const long n : {0, 1, 6, 8})
        EXPECT_EQ(runProgram(TL_KADRIMO_BIN, {full.begin(), full.begin() + n}), 1) << n;
    EXPECT_FALSE(std::filesystem::exists(list()));
    EXPECT_EQ(filesInOut(), 0u);
}

TEST_F(KadrimoProgram, MissingVideoIsReportedAndTheListKept) {
    writeFile(list(), "an earlier list");
    writeFile(log(), "kept\n");
    const std::string video = folder.file("no such video.avi");
    EXPECT_EQ(run(video, 0, 1000, 1000), 1);
    EXPECT_EQ(readFile(list()), "an earlier list");
    const std::string text = readFile(log());
    EXPECT_EQ(text.rfind("kept\n", 0), 0u);
    EXPECT_NE(text.find("\nERROR at function main => The video '" + video +
                        "' does not exist or we can not open it.\n\n"),
              std::string::npos)
        << text;
}

TEST_F(KadrimoProgram, FileThatIsNoVideoIsReportedLikeAMissingOne) {
    const std::string notVideo = folder.file("notes.avi");
    writeFile(notVideo, "plain text, no video");
    EXPECT_EQ(run(notVideo, 0, 1000, 1000), 1);
    EXPECT_NE(readFile(log()).find("The video '" + notVideo + "' does not exist or we can not open it."),
              std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(list()));
}

TEST_F(KadrimoProgram, ZeroDenominatorIsReportedWithoutFrames) {
    const std::string video = indexedVideo(12);
    writeFile(list(), "an earlier list");
    EXPECT_EQ(run(video, 0, 5, 0), 1);
    EXPECT_NE(readFile(log()).find("ERROR at function main => The frame window of the video '" + video +
                                   "' has a denominator of 0."),
              std::string::npos)
        << readFile(log());
    EXPECT_EQ(readFile(list()), "an earlier list");
    EXPECT_EQ(filesInOut(), 0u);
}

TEST_F(KadrimoProgram, StillImageHasNoFramesToCut) {
    const std::string still = folder.file("still.png");
    cv::imwrite(still, cv::Mat(24, 32, CV_8UC3, cv::Scalar(9, 8, 7)));
    EXPECT_EQ(run(still, 0, 1000, 1000), 1);
    EXPECT_NE(readFile(log()).find("ERROR at function main => The video '" + still + "' reports no frames."),
              std::string::npos)
        << readFile(log());
    EXPECT_FALSE(std::filesystem::exists(list()));
    EXPECT_EQ(filesInOut(), 0u);
}

TEST_F(KadrimoProgram, WorkedExampleOnTheRealClip) {
    TL_REQUIRE_TEST_DATA("video/Megamind.avi");
    // 270 frames: J = 0.27, the window starts at frame 67 and holds 135 - 67 = 68 frames.
    EXPECT_EQ(run(testDataPath("video/Megamind.avi"), 250, 500, 1000), 0);
    EXPECT_EQ(readFile(list()), listOf(68, numbered(1, 68, 2)));
    EXPECT_FALSE(std::filesystem::exists(log()));
}

TEST_F(KadrimoProgram, VideoEndingBeforeTheWindowListsWhatWasRead) {
    TL_REQUIRE_TEST_DATA("video/tree.avi");
    // The header claims 444 frames; 68 decode.
    EXPECT_EQ(run(testDataPath("video/tree.avi"), 0, 1000, 1000), 0);
    EXPECT_EQ(readFile(list()), listOf(444, numbered(1, 68, 3)));
}

TEST_F(KadrimoProgram, WindowsOfOneFrameAndPaddingOfTen) {
    const std::string video = indexedVideo(20);
    EXPECT_EQ(run(video, 300, 300, 1000), 0);
    EXPECT_EQ(readFile(list()), listOf(1, {"1"}));
    EXPECT_EQ(run(video, 1000, 1000, 1000), 0);  // at the end: the last frame
    EXPECT_EQ(readFile(list()), listOf(1, {"1"}));
    EXPECT_EQ(run(video, 5, 15, 20), 0);  // frames 5 to 14
    EXPECT_EQ(readFile(list()), listOf(10, numbered(1, 10, 2)));
    EXPECT_EQ(run(video, -5, 5, 20), 0);  // starts at frame 0
    EXPECT_EQ(readFile(list()), listOf(5, numbered(1, 5, 1)));
}

TEST_F(KadrimoProgram, ListNamesAreUtf8AndTheOutputFolderLosesOneSlash) {
    const std::string video = indexedVideo(3);
    EXPECT_EQ(run(video, 0, 1, 3, "caf\xE9", "png", out() + "/"), 0);
    EXPECT_EQ(readFile(list()), "1\n" + out() + "/caf\xC3\xA9" "1.png");
    EXPECT_EQ(run(video, 0, 1, 3, "caf\xC3\xA9"), 0);
    EXPECT_EQ(readFile(list()), "1\n" + out() + "/caf\xC3\xA9" "1.png");
}

} // namespace
