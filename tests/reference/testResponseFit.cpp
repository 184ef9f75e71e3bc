// The camera response fitted to generated brackets, against the generator's own tone curve.
#include "reference/FrameSamples.hpp"
#include "reference/ResponseFit.hpp"
#include "tools/BracketFiles.hpp"

#include <gtest/gtest.h>

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>

using namespace tl;

namespace {

// The linear light whose code fraction the generator's curve makes v (bisection).
double trueLight(double v) {
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) ((cameraCurve((low + high) / 2) < v) ? low : high) = (low + high) / 2;
    return (low + high) / 2;
}

std::optional<CameraResponse> fitted(std::vector<double> stops, int bits, bool colour = true) {
    BracketPlan plan;
    plan.stops = stops;
    plan.bits = bits;
    plan.colour = colour;
    std::vector<cv::Mat> samples;
    for (const cv::Mat& frame : bracketFrames(plan)) samples.push_back(sampleGrid(frame));
    return fitCameraResponse(samples, stops);
}

void expectCameraCurve(const CameraResponse& response) {
    EXPECT_TRUE(response.fitted());
    for (int code = 16; code <= 240; code += 8)
        EXPECT_NEAR(std::log2(response.light(code, 0) / trueLight(code / 255.0)), 0, 0.25) << "code " << code;
}

TEST(ResponseFitTest, ABracketTellsTheCameraCurveAtEightBits) {
    const auto response = fitted({-2, 0, 2}, 8);
    ASSERT_TRUE(response);
    expectCameraCurve(*response);
    // Inverting the curve returns the code.
    EXPECT_NEAR(response->code(response->light(100.5, 0), 0), 100.5, 1e-6);
}

TEST(ResponseFitTest, ABracketTellsTheCameraCurveAtSixteenBits) {
    const auto response = fitted({-3, -1.5, 0, 1.5}, 16);
    ASSERT_TRUE(response);
    expectCameraCurve(*response);
    const std::vector<float> table = response->table(CV_16U, 0);
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_FLOAT_EQ(table.back(), static_cast<float>(response->light(255, 0)));
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end()));
    EXPECT_FLOAT_EQ(table.front(), 0.0f);
}

// Grey frames: a third of the samples, in a few peaks, so the curve wavers a little more;
// one bright area (the sky) fills the codes near the clip level, which the curve must not
// follow there (it went more than a stop astray).
TEST(ResponseFitTest, AGreyBracketTellsTheCameraCurveUpToTheClipLevel) {
    const auto response = fitted({-2, 0, 2}, 16, false);
    ASSERT_TRUE(response);
    for (int code = 16; code <= 248; code += 8)
        EXPECT_NEAR(std::log2(response->light(code, 0) / trueLight(code / 255.0)), 0, 0.3) << "code " << code;
}

TEST(ResponseFitTest, FramesOfEqualOrNearlyEqualExposureTellNoCurve) {
    EXPECT_FALSE(fitted({0, 0, 0}, 8));
    EXPECT_FALSE(fitted({0, 0.2}, 8));
}

// A camera whose red channel has a curve of its own: frames of the grey scene (every
// channel tells the whole range) with the generator's codes of red raised to the power 1.4.
// Fitted channel by channel, blue and green keep the generator's curve and red gets the one
// that undoes the change.
TEST(ResponseFitTest, ChannelsWithCurvesOfTheirOwnAreFittedOneByOne) {
    BracketPlan plan;
    plan.stops = {-2, 0, 2};
    plan.colour = false;
    cv::Mat redder(1, 256, CV_8U);
    for (int v = 0; v < 256; ++v) redder.at<std::uint8_t>(v) = cv::saturate_cast<std::uint8_t>(255 * std::pow(v / 255.0, 1.4));
    std::vector<cv::Mat> samples;
    for (const cv::Mat& frame : bracketFrames(plan)) {
        std::vector<cv::Mat> channels{frame, frame.clone(), cv::Mat()};
        cv::LUT(frame, redder, channels[2]);
        cv::Mat changed;
        cv::merge(channels, changed);
        samples.push_back(sampleGrid(changed));
    }
    const auto response = fitChannelResponses(samples, plan.stops);
    ASSERT_TRUE(response);
    EXPECT_TRUE(response->separateChannels());
    // Each channel's scale is free (a white balance): the curves are compared by their shape,
    // as light relative to the middle code's, where the grey scene tells them (its brightest
    // parts clip in two of the three frames).
    const auto shape = [&](int code, int channel) {
        return std::log2(response->light(code, channel) / response->light(128, channel));
    };
    for (int code = 32; code <= 192; code += 16) {
        const double unchanged = std::log2(trueLight(code / 255.0) / trueLight(128 / 255.0));
        const double red = std::log2(trueLight(std::pow(code / 255.0, 1 / 1.4)) / trueLight(std::pow(128 / 255.0, 1 / 1.4)));
        EXPECT_NEAR(shape(code, 0), unchanged, 0.3) << "blue, code " << code;
        EXPECT_NEAR(shape(code, 1), unchanged, 0.3) << "green, code " << code;
        EXPECT_NEAR(shape(code, 2), red, 0.3) << "red, code " << code;
    }
    // A channel beyond the curves (alpha) reads through the last.
    EXPECT_DOUBLE_EQ(response->light(100, 3), response->light(100, 2));
}

TEST(CameraResponseTest, TheStandardCurveIsSrgbDecoding) {
    const CameraResponse standard = CameraResponse::standard();
    EXPECT_FALSE(standard.fitted());
    EXPECT_NEAR(standard.light(255, 0), 1.0, 1e-12);
    EXPECT_NEAR(standard.light(0, 0), 0.0, 1e-12);
    EXPECT_NEAR(standard.light(128, 0), std::pow((128 / 255.0 + 0.055) / 1.055, 2.4), 1e-12);
    EXPECT_NEAR(standard.code(standard.light(77, 0), 0), 77, 1e-6);
}

} // namespace
