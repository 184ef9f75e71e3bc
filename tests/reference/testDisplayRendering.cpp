#include "reference/DisplayRendering.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tl;

namespace {

// A ramp of light from 0 to top over 256 columns, in three equal channels.
cv::Mat ramp(float top) {
    cv::Mat light(4, 256, CV_32FC3);
    for (int x = 0; x < 256; ++x) light.row(0).at<cv::Vec3f>(x) = cv::Vec3f::all(top * x / 255);
    for (int y = 1; y < 4; ++y) light.row(0).copyTo(light.row(y));
    return light;
}

// Light up to the instant image's white keeps its codes: the camera's curve gives them back.
TEST(DisplayRenderingTest, LightWithinTheWhiteGetsTheCameraCurvesCodes) {
    const CameraResponse curve = CameraResponse::standard();
    const cv::Mat display = renderForDisplay(ramp(1.0f), curve);
    for (int x = 0; x < 256; x += 15) {
        const double expected = curve.code(1.0 * x / 255, 0) / 255;
        EXPECT_NEAR(display.at<cv::Vec3f>(2, x)[1], expected, 2e-3) << "column " << x;
    }
}

// Highlights above the white roll off: still increasing, the brightest at white, the
// shadows as they were.
TEST(DisplayRenderingTest, HighlightsRollOffToWhite) {
    const CameraResponse curve = CameraResponse::standard();
    const cv::Mat display = renderForDisplay(ramp(8.0f), curve);
    float previous = -1;
    for (int x = 0; x < 256; ++x) {
        const float v = display.at<cv::Vec3f>(0, x)[0];
        EXPECT_GE(v, previous) << "column " << x;
        EXPECT_LE(v, 1.0f);
        previous = v;
    }
    EXPECT_NEAR(previous, 1.0f, 1e-3);
    EXPECT_NEAR(display.at<cv::Vec3f>(0, 16)[0], curve.code(8.0 * 16 / 255, 0) / 255, 2e-3);  // below the knee
    EXPECT_LT(display.at<cv::Vec3f>(0, 29)[0], curve.code(8.0 * 29 / 255, 0) / 255 - 1e-3);  // above it, darker
}

// Float frames have no camera curve: the sRGB encoding stands in.
TEST(DisplayRenderingTest, WithoutACameraCurveTheSrgbEncodingIsUsed) {
    const cv::Mat display = renderForDisplay(ramp(1.0f), std::nullopt);
    EXPECT_NEAR(display.at<cv::Vec3f>(0, 255)[2], 1.0f, 1e-3);
    EXPECT_NEAR(display.at<cv::Vec3f>(0, 51)[2], 1.055 * std::pow(0.2, 1 / 2.4) - 0.055, 2e-3);
}

} // namespace
