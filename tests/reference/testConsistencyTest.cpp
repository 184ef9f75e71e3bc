// The consistency test on small reduced frames built by hand: flat frames of one light
// with a patch of another, and clipped or dark flags where the limits are tested.
#include "reference/ConsistencyTest.hpp"

#include <gtest/gtest.h>

using namespace tl;

namespace {

const cv::Rect patch(8, 8, 8, 8);

// A 24 x 24 one-channel reduced frame of light, with patchLight in the patch; noisy so
// that the noise profile has a spread to measure.
ReducedFrame flatFrame(float light, float patchLight, unsigned seed) {
    ReducedFrame f{cv::Mat(24, 24, CV_32F, cv::Scalar(light)), cv::Mat::zeros(24, 24, CV_8U), cv::Mat::zeros(24, 24, CV_8U)};
    f.light(patch).setTo(patchLight);
    cv::Mat noise(24, 24, CV_32F);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, 0.004 * light);
    f.light += noise;
    return f;
}

float patchScore(const ReducedFrame& instant, const ReducedFrame& frame) {
    const cv::Mat score = disagreement(instant, frame, {0.001f, 0.001f, 1.0f, 1.0f, 0.0f});
    return score.at<float>(patch.y + 4, patch.x + 4);
}

float stillScore(const ReducedFrame& instant, const ReducedFrame& frame) {
    const cv::Mat score = disagreement(instant, frame, {0.001f, 0.001f, 1.0f, 1.0f, 0.0f});
    double largest = 0;
    cv::minMaxLoc(score(cv::Rect(0, 0, 24, 5)), nullptr, &largest);
    return static_cast<float>(largest);
}

TEST(ConsistencyTestTest, DifferencesBeyondTheNoiseDisagreeAndNoiseDoesNot) {
    const ReducedFrame instant = flatFrame(0.2f, 0.2f, 1);
    EXPECT_LT(stillScore(instant, flatFrame(0.2f, 0.2f, 2)), 0.5f);
    EXPECT_LT(patchScore(instant, flatFrame(0.2f, 0.2f, 2)), 0.5f);
    EXPECT_GT(patchScore(instant, flatFrame(0.2f, 0.3f, 2)), 2.0f);
    EXPECT_GT(patchScore(instant, flatFrame(0.2f, 0.12f, 2)), 2.0f);
}

// Where the instant frame is clipped its light is at least the clip level: a frame that
// sees more there agrees, one that sees less does not.
TEST(ConsistencyTestTest, WhereTheInstantFrameIsClippedOnlyADarkerFrameDisagrees) {
    ReducedFrame instant = flatFrame(0.2f, 1.0f, 1);
    instant.clipped(patch).setTo(255);
    EXPECT_LT(patchScore(instant, flatFrame(0.2f, 4.0f, 2)), 0.5f);
    EXPECT_GT(patchScore(instant, flatFrame(0.2f, 0.5f, 2)), 2.0f);
}

// Where the instant frame is in its noise floor its light is at most the floor: a darker
// frame agrees, a clearly brighter one does not.
TEST(ConsistencyTestTest, WhereTheInstantFrameIsDarkOnlyABrighterFrameDisagrees) {
    ReducedFrame instant = flatFrame(0.2f, 0.0005f, 1);
    instant.dark(patch).setTo(255);
    EXPECT_LT(patchScore(instant, flatFrame(0.2f, 0.0001f, 2)), 0.5f);
    EXPECT_GT(patchScore(instant, flatFrame(0.2f, 0.05f, 2)), 2.0f);
}

// A clipped frame says only that the light is at least its value.
TEST(ConsistencyTestTest, AClippedFrameDisagreesOnlyWhenEvenItsBoundIsTooBright) {
    const ReducedFrame instant = flatFrame(0.2f, 0.6f, 1);
    ReducedFrame frame = flatFrame(0.2f, 0.4f, 2);
    frame.clipped(patch).setTo(255);
    EXPECT_LT(patchScore(instant, frame), 0.5f);
    ReducedFrame brighter = flatFrame(0.2f, 0.9f, 2);
    brighter.clipped(patch).setTo(255);
    EXPECT_GT(patchScore(instant, brighter), 2.0f);
}

} // namespace
