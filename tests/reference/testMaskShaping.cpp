#include "reference/MaskShaping.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace tl;

namespace {

float at(const cv::Mat& mask, int y, int x) { return mask.at<float>(y, x); }

TEST(MaskShapingTest, SeedsGrowThroughTheWeakDisagreementThatTouchesThem) {
    cv::Mat score = cv::Mat::zeros(60, 80, CV_32F);
    score(cv::Rect(10, 10, 30, 6)).setTo(0.7f);  // weak, touching the seed
    score(cv::Rect(10, 10, 5, 5)).setTo(3.0f);   // a seed
    score(cv::Rect(60, 40, 10, 10)).setTo(0.7f);  // weak alone: dropped
    const cv::Mat mask = shapeMask(score, 1.0);
    EXPECT_GT(at(mask, 12, 35), 0.95f);
    EXPECT_LT(at(mask, 45, 65), 0.01f);
    EXPECT_LT(at(mask, 50, 20), 0.01f);
}

TEST(MaskShapingTest, SpecksAndThinLinesAreDropped) {
    cv::Mat score = cv::Mat::zeros(60, 80, CV_32F);
    score.at<float>(30, 30) = 5;
    score(cv::Rect(5, 50, 70, 2)).setTo(5.0f);  // an edge two pixels wide
    const cv::Mat mask = shapeMask(score, 1.0);
    double largest = 0;
    cv::minMaxLoc(mask, nullptr, &largest);
    EXPECT_LT(largest, 0.01);
}

// The mask covers every disagreeing pixel fully and fades out beyond it without a step.
TEST(MaskShapingTest, MasksAreGrownAndFeathered) {
    cv::Mat score = cv::Mat::zeros(60, 80, CV_32F);
    score(cv::Rect(30, 20, 10, 10)).setTo(2.0f);
    const cv::Mat mask = shapeMask(score, 2.0);
    for (int x = 30; x < 40; ++x) EXPECT_GT(at(mask, 20, x), 0.97f);
    float previous = at(mask, 25, 39);
    bool between = false;
    for (int x = 40; x < 60; ++x) {
        EXPECT_LE(at(mask, 25, x), previous + 1e-6f);
        EXPECT_LT(previous - at(mask, 25, x), 0.3f) << "a step at column " << x;
        between = between || (at(mask, 25, x) > 0.2f && at(mask, 25, x) < 0.8f);
        previous = at(mask, 25, x);
    }
    EXPECT_TRUE(between);
    EXPECT_LT(previous, 0.01f);
    const cv::Mat full = expandMask(mask, {160, 120});
    EXPECT_EQ(full.type(), CV_8UC1);
    EXPECT_EQ(full.at<std::uint8_t>(50, 70), 255);
    EXPECT_EQ(full.at<std::uint8_t>(5, 5), 0);
}

} // namespace
