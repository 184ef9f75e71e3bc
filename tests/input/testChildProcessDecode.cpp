#include "input/ChildProcessDecode.hpp"
#include "tests/input/CapturedStream.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

using namespace std::chrono_literals;

TEST(ChildProcessDecodeTest, ImagesOfEveryDepthArriveUnchanged) {
    for (const int type : {CV_8UC1, CV_8SC3, CV_16UC3, CV_16SC2, CV_32SC1, CV_32FC3, CV_64FC4}) {
        cv::Mat image(37, 53, type);
        cv::randu(image, -1000, 1000);
        const cv::Mat received = decodeInChildProcess([&image] { return image; }, 10s);
        ASSERT_EQ(received.type(), type);
        ASSERT_EQ(received.size(), image.size());
        EXPECT_EQ(cv::norm(received, image, cv::NORM_INF), 0) << type;
    }
    const cv::Mat big(1500, 1000, CV_16UC3, cv::Scalar(1, 2, 3));
    EXPECT_EQ(cv::norm(decodeInChildProcess([&big] { return big; }, 10s), big, cv::NORM_INF), 0)
        << "more than a pipe's buffer";
    const cv::Mat whole = cv::Mat(8, 8, CV_8UC3, cv::Scalar(9, 8, 7));
    const cv::Mat window = whole(cv::Rect(2, 2, 3, 4));
    EXPECT_EQ(cv::norm(decodeInChildProcess([&window] { return window; }, 10s), window, cv::NORM_INF), 0);
    EXPECT_TRUE(decodeInChildProcess([] { return cv::Mat(); }, 10s).empty());
}

TEST(ChildProcessDecodeTest, CrashingOrHangingDecoderGivesAnEmptyImage) {
    EXPECT_TRUE(decodeInChildProcess([]() -> cv::Mat { std::abort(); }, 10s).empty());
    EXPECT_TRUE(decodeInChildProcess([]() -> cv::Mat { std::raise(SIGSEGV); return cv::Mat(3, 3, CV_8U); }, 10s).empty());
    EXPECT_TRUE(decodeInChildProcess([]() -> cv::Mat { throw std::runtime_error("x"); }, 10s).empty());

    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(decodeInChildProcess([]() -> cv::Mat { for (;;) pause(); }, 300ms).empty());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s) << "the time limit ends a hanging decoder";
}

TEST(ChildProcessDecodeTest, ChildWritesNothingOnStandardOutput) {
    std::printf("pending in this process's buffer\n"); // must be written once only
    CapturedStream output(STDOUT_FILENO);
    const cv::Mat image = decodeInChildProcess(
        [] {
            std::printf("decoder noise\n");
            std::fflush(stdout);
            return cv::Mat(2, 2, CV_8UC1, cv::Scalar(5));
        },
        10s);
    EXPECT_EQ(image.at<unsigned char>(1, 1), 5);
    EXPECT_EQ(output.text(), "");
}

} // namespace
