#include "common/ElementType.hpp"
#include "fusion/LightAccumulator.hpp"
#include "tests/support/LightFormula.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tl;

namespace {

// The light of instant and exposures, whose element type is that of bits per channel.
void accumulate(LightAccumulator& accumulator, int bits, const cv::Mat& instant, const std::vector<cv::Mat>& exposures) {
    withElementType(depthOfBits(bits), [&]<typename T>() {
        accumulator.start<T>(instant);
        for (const cv::Mat& e : exposures) accumulator.add<T>(e);
    });
}

cv::Mat engineLight(int bits, const cv::Mat& instant, const std::vector<cv::Mat>& exposures) {
    LightAccumulator accumulator;
    accumulate(accumulator, bits, instant, exposures);
    return accumulator.finish();
}

cv::Mat randomImage(int rows, int cols, int type, double high, int seed) {
    cv::Mat image(rows, cols, type);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, high);
    return image;
}

// Every possible 8-bit and 16-bit value goes through the lookup tables; each result
// must be the very double that std::pow gives.
TEST(LightAccumulation, TablesGiveTheExactPowerOfEveryValue) {
    cv::Mat all8(16, 16, CV_8UC1), all16(256, 256, CV_16UC1);
    for (int v = 0; v < 256; ++v) all8.ptr<std::uint8_t>()[v] = static_cast<std::uint8_t>(v);
    for (int v = 0; v < 65536; ++v) all16.ptr<std::uint16_t>()[v] = static_cast<std::uint16_t>(v);
    for (const auto& [bits, values] : {std::pair{8, all8}, std::pair{16, all16}}) {
        LightAccumulator accumulator;
        accumulate(accumulator, bits, cv::Mat::zeros(values.size(), values.type()), {values});
        cv::Mat asDouble;
        values.convertTo(asDouble, CV_64F);
        for (int i = 0; i < static_cast<int>(values.total()); ++i)
            ASSERT_EQ(accumulator.lightSum().ptr<double>()[i], std::pow(asDouble.ptr<double>()[i], 2.2))
                << bits << " bits, value " << i;
    }
}

// Large enough for the instant image's addition and the normalisation to be split
// across threads, at every depth, with and without exposures.
TEST(LightAccumulation, LightImageIsBitIdenticalToTheStraightforwardFormula) {
    const struct { int bits, type; double high; } depths[] = {
        {8, CV_8UC3, 256}, {16, CV_16UC3, 65536}, {32, CV_32FC3, 1.0}};
    for (const auto& d : depths) {
        const cv::Mat instant = randomImage(300, 257, d.type, d.high, 1);
        const std::vector<cv::Mat> exposures{randomImage(300, 257, d.type, d.high, 2),
                                             randomImage(300, 257, d.type, d.high, 3)};
        EXPECT_TRUE(bitIdentical(engineLight(d.bits, instant, exposures),
                                 straightforwardLight(instant, exposures)))
            << d.bits << " bits";
        EXPECT_TRUE(bitIdentical(engineLight(d.bits, instant, {}), straightforwardLight(instant, {})))
            << d.bits << " bits, instant image alone";
    }
}

TEST(LightAccumulation, InstantImageAloneIsNormalisedWithoutThePower) {
    cv::Mat instant(1, 3, CV_8UC1);
    instant.at<std::uint8_t>(0) = 0;
    instant.at<std::uint8_t>(1) = 50;
    instant.at<std::uint8_t>(2) = 200;
    const cv::Mat light = engineLight(8, instant, {});
    EXPECT_EQ(light.at<float>(0), 0.f);
    EXPECT_EQ(light.at<float>(1), static_cast<float>(std::pow(50 / 200.0, 1 / 2.2)));
    EXPECT_EQ(light.at<float>(2), 1.f);
}

// The largest sum is taken over all channels together, whatever their number.
TEST(LightAccumulation, LargestSumIsSharedByAllChannels) {
    for (int channels : {2, 4}) {
        cv::Mat instant(1, 2, CV_16UC(channels), cv::Scalar::all(0));
        cv::Mat exposure(1, 2, CV_16UC(channels), cv::Scalar::all(1000));
        exposure.ptr<std::uint16_t>()[2 * channels - 1] = 4000;  // last channel, last pixel
        const cv::Mat light = engineLight(16, instant, {exposure});
        ASSERT_EQ(light.type(), CV_32FC(channels));
        EXPECT_EQ(light.ptr<float>()[2 * channels - 1], 1.f);
        EXPECT_EQ(light.ptr<float>()[0], static_cast<float>(std::pow(
                                             std::pow(1000.0, 2.2) / std::pow(4000.0, 2.2), 1 / 2.2)));
    }
}

// The largest sum is found during the additions, rows in blocks of four and a rest: it
// must be found at every position of a row, and be the largest of the final sums, not
// of an earlier one.
TEST(LightAccumulation, LargestSumIsFoundWhereverItLies) {
    for (int width = 1; width <= 9; ++width)
        for (int instantAt = 0; instantAt < 2 * width; ++instantAt)
            for (int exposureAt = 0; exposureAt < 2 * width; ++exposureAt) {
                cv::Mat instant(2, width, CV_16UC1, cv::Scalar(10)), exposure(2, width, CV_16UC1, cv::Scalar(3));
                instant.ptr<std::uint16_t>()[instantAt] = 60000;
                exposure.ptr<std::uint16_t>()[exposureAt] = 200;
                ASSERT_TRUE(bitIdentical(engineLight(16, instant, {exposure}), straightforwardLight(instant, {exposure})))
                    << width << " " << instantAt << " " << exposureAt;
                ASSERT_TRUE(bitIdentical(engineLight(16, instant, {}), straightforwardLight(instant, {})))
                    << width << " " << instantAt;
            }
}

TEST(LightAccumulation, BlackSequenceGivesABlackLightImage) {
    const cv::Mat black = cv::Mat::zeros(4, 5, CV_32FC3);
    const cv::Mat light = engineLight(32, black, {black, black});
    ASSERT_EQ(light.size(), black.size());
    ASSERT_EQ(light.type(), CV_32FC3);
    EXPECT_EQ(cv::countNonZero(light.reshape(1)), 0);
    EXPECT_TRUE(cv::checkRange(light));  // no NaN from 0 / 0
}

} // namespace
