#include "input/DecoderProcess.hpp"
#include "input/DevilImageLoader.hpp"
#include "tests/input/CapturedStream.hpp"
#include "tests/input/ImageFiles.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace tl;

namespace {

using namespace std::chrono_literals;

class DecoderProcessTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string put(const std::string& name, const std::string& bytes) const {
        writeFile(folder.file(name), bytes);
        return folder.file(name);
    }
};

bool identical(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST_F(DecoderProcessTest, ImagesComeBackAsTheDecodersMadeThem) {
    const cv::Mat picture = patternImage(300, 500, CV_8UC3);
    const std::string tga = put("picture.tga", tgaBytes(picture, true));
    EXPECT_TRUE(identical(decodeInDecoderProgram(Decoder::devil, tga, 10s).image, loadDevilImage(tga)));
    cv::Mat light(40, 30, CV_32FC3);
    cv::randu(light, 0.0f, 8.0f);
    const std::string hdr = folder.file("light.hdr");
    ASSERT_TRUE(cv::imwrite(hdr, light));
    EXPECT_TRUE(identical(decodeInDecoderProgram(Decoder::radiance, hdr, 10s).image,
                          cv::imread(hdr, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR)));
    const LoadedImage nothing = decodeInDecoderProgram(Decoder::devil, put("text.tga", "no image"), 10s);
    EXPECT_TRUE(nothing.image.empty());
    EXPECT_EQ(nothing.problem, "");
}

// Another thread holds the locks of both standard streams throughout, and OpenCV's
// Radiance reader writes its complaint about the file on std::cerr. A decoder forked from
// this process would inherit the stream's lock held, and wait on it until the time limit;
// the decoder program shares no lock with it. What the decoder prints reaches standard
// error, never standard output.
TEST_F(DecoderProcessTest, LocksHeldByOtherThreadsDoNotHoldTheDecoder) {
    const std::string picture = put("picture.tga", tgaBytes(patternImage(20, 30, CV_8UC3), false));
    const std::string malformed = put("malformed.hdr", "#?RADIANCE\nFORMAT=32-bit_rle_xyze\n\n-Y 2 +X 2\n");
    CapturedStream output(STDOUT_FILENO);
    CapturedStream errors(STDERR_FILENO);
    std::mutex lock;
    std::condition_variable changed;
    bool held = false, done = false;
    std::thread holder([&] {
        flockfile(stdout);
        flockfile(stderr);
        std::unique_lock<std::mutex> waiting(lock);
        held = true;
        changed.notify_all();
        changed.wait(waiting, [&] { return done; });
        funlockfile(stderr);
        funlockfile(stdout);
    });
    {
        std::unique_lock<std::mutex> waiting(lock);
        changed.wait(waiting, [&] { return held; });
    }
    const LoadedImage refused = decodeInDecoderProgram(Decoder::radiance, malformed, 20s);
    const LoadedImage decoded = decodeInDecoderProgram(Decoder::devil, picture, 20s);
    {
        const std::lock_guard<std::mutex> releasing(lock);
        done = true;
    }
    changed.notify_all();
    holder.join();
    EXPECT_TRUE(refused.image.empty());
    EXPECT_EQ(refused.problem, "") << "the decoder finished by itself";
    EXPECT_EQ(decoded.image.size(), cv::Size(30, 20)) << decoded.problem;
    EXPECT_NE(errors.text().find("malformed.hdr"), std::string::npos) << errors.text();
    EXPECT_EQ(output.text(), "");
}

// A decoder that never finishes (here: DevIL opening a FIFO that nobody writes) is
// stopped at the time limit, and the reason says so.
TEST_F(DecoderProcessTest, DecoderStillBusyAtTheTimeLimitIsStopped) {
    const std::string fifo = folder.file("never.tga");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const auto start = std::chrono::steady_clock::now();
    const LoadedImage stopped = decodeInDecoderProgram(Decoder::devil, fifo, 300ms);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_TRUE(stopped.image.empty());
    EXPECT_EQ(stopped.problem, "its decoder was still busy after 0.3 s and was stopped");
}

} // namespace
