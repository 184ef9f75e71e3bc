#include "input/FusionDepth.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

using namespace tl;

namespace {

template <typename T> cv::Mat row(int depth, std::initializer_list<T> values) {
    cv::Mat image(1, int(values.size()), depth);
    std::copy(values.begin(), values.end(), image.ptr<T>());
    return image;
}

bool identical(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

constexpr std::int32_t largestInt = std::numeric_limits<std::int32_t>::max();

TEST(FusionDepthTest, SignedSamplesKeepTheirLevelAndNegativeOnesBecomeZero) {
    EXPECT_TRUE(identical(toFusionDepth(row<std::int8_t>(CV_8S, {-128, -1, 0, 1, 127})),
                          row<std::uint8_t>(CV_8U, {0, 0, 0, 1, 127})));
    EXPECT_TRUE(identical(toFusionDepth(row<std::int16_t>(CV_16S, {-32768, -1, 0, 1, 32767})),
                          row<std::uint16_t>(CV_16U, {0, 0, 0, 1, 32767})));
    const cv::Mat colour(2, 3, CV_16SC3, cv::Scalar(-5, 7, 300));
    EXPECT_TRUE(identical(toFusionDepth(colour), cv::Mat(2, 3, CV_16UC3, cv::Scalar(0, 7, 300))));
}

TEST(FusionDepthTest, IntegersOf32BitsBecomeFloatWithTheLargestAtOne) {
    const cv::Mat converted =
        toFusionDepth(row<std::int32_t>(CV_32S, {std::numeric_limits<std::int32_t>::min(), -1, 0, largestInt / 4, largestInt}));
    ASSERT_EQ(converted.type(), CV_32FC1);
    const float* values = converted.ptr<float>();
    EXPECT_EQ(values[0], 0.0f);
    EXPECT_EQ(values[1], 0.0f);
    EXPECT_EQ(values[2], 0.0f);
    EXPECT_FLOAT_EQ(values[3], 0.25f);
    EXPECT_EQ(values[4], 1.0f);
}

} // namespace
