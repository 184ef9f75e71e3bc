// The camera response fitted to generated brackets, against the generator's own tone curve.
#include "reference/FrameSamples.hpp"
#include "reference/ResponseFit.hpp"
#include "tools/BracketFiles.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// The linear light whose code fraction the generator's curve makes v (bisection).
double trueLight(double v) {
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) ((cameraCurve((low + high) / 2) < v) ? low : high) = (low + high) / 2;
    return (low + high) / 2;
}

std::optional<CameraResponse> fitted(std::vector<double> stops, int bits) {
    BracketPlan plan;
    plan.stops = stops;
    plan.bits = bits;
    std::vector<cv::Mat> samples;
    for (const cv::Mat& frame : bracketFrames(plan)) samples.push_back(sampleGrid(frame));
    return fitCameraResponse(samples, stops);
}

void expectCameraCurve(const CameraResponse& response) {
    EXPECT_TRUE(response.fitted());
    for (int code = 16; code <= 240; code += 8)
        EXPECT_NEAR(std::log2(response.light(code) / trueLight(code / 255.0)), 0, 0.25) << "code " << code;
}

TEST(ResponseFitTest, ABracketTellsTheCameraCurveAtEightBits) {
    const auto response = fitted({-2, 0, 2}, 8);
    ASSERT_TRUE(response);
    expectCameraCurve(*response);
    // Inverting the curve returns the code.
    EXPECT_NEAR(response->code(response->light(100.5)), 100.5, 1e-6);
}

TEST(ResponseFitTest, ABracketTellsTheCameraCurveAtSixteenBits) {
    const auto response = fitted({-3, -1.5, 0, 1.5}, 16);
    ASSERT_TRUE(response);
    expectCameraCurve(*response);
    const std::vector<float> table = response->table(CV_16U);
    ASSERT_EQ(table.size(), 65536u);
    EXPECT_FLOAT_EQ(table.back(), static_cast<float>(response->light(255)));
    EXPECT_TRUE(std::is_sorted(table.begin(), table.end()));
    EXPECT_FLOAT_EQ(table.front(), 0.0f);
}

TEST(ResponseFitTest, FramesOfEqualOrNearlyEqualExposureTellNoCurve) {
    EXPECT_FALSE(fitted({0, 0, 0}, 8));
    EXPECT_FALSE(fitted({0, 0.2}, 8));
}

TEST(CameraResponseTest, TheStandardCurveIsSrgbDecoding) {
    const CameraResponse standard = CameraResponse::standard();
    EXPECT_FALSE(standard.fitted());
    EXPECT_NEAR(standard.light(255), 1.0, 1e-12);
    EXPECT_NEAR(standard.light(0), 0.0, 1e-12);
    EXPECT_NEAR(standard.light(128), std::pow((128 / 255.0 + 0.055) / 1.055, 2.4), 1e-12);
    EXPECT_NEAR(standard.code(standard.light(77)), 77, 1e-6);
}

} // namespace
