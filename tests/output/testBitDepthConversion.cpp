#include "output/BitDepthConversion.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using namespace tl;

namespace {

// A one-row image of the given depth with three channels holding values.
template <typename T>
cv::Mat row(int depth, const std::vector<T>& values) {
    cv::Mat image(1, static_cast<int>(values.size()) / 3, CV_MAKETYPE(depth, 3));
    for (std::size_t i = 0; i < values.size(); ++i) image.ptr<T>(0)[i] = values[i];
    return image;
}

template <typename T>
std::vector<T> samples(const cv::Mat& image) {
    const T* data = image.ptr<T>(0);
    return std::vector<T>(data, data + image.total() * image.channels());
}

TEST(BitDepthConversion, RequestForTheBitsAlreadyThereSharesThePixels) {
    for (const auto& [depth, bits] : {std::pair{CV_8U, 8}, {CV_16U, 16}, {CV_32F, 32}}) {
        const cv::Mat source(2, 3, CV_MAKETYPE(depth, 3), cv::Scalar::all(1));
        const cv::Mat result = convertBitDepth(source, bits);
        EXPECT_EQ(result.data, source.data) << bits;
        EXPECT_EQ(result.type(), source.type()) << bits;
    }
}

TEST(BitDepthConversion, BytesWidenToWordsAndFloats) {
    const cv::Mat source = row<std::uint8_t>(CV_8U, {0, 1, 128, 254, 255, 7});
    const cv::Mat words = convertBitDepth(source, 16);
    ASSERT_EQ(words.type(), CV_16UC3);
    EXPECT_EQ(samples<std::uint16_t>(words), (std::vector<std::uint16_t>{0, 257, 32896, 65278, 65535, 1799}));

    const cv::Mat floats = convertBitDepth(source, 32);
    ASSERT_EQ(floats.type(), CV_32FC3);
    const std::vector<float> f = samples<float>(floats);
    EXPECT_EQ(f[0], 0.0f);
    EXPECT_EQ(f[4], 1.0f);
    EXPECT_EQ(f[2], static_cast<float>(128 * 0.00392156862745098));
}

TEST(BitDepthConversion, BytesAskedForAnyOtherBitsGiveAByteCopy) {
    const cv::Mat source = row<std::uint8_t>(CV_8U, {0, 9, 255});
    for (int bits : {24, 0, -8, 64}) {
        const cv::Mat copy = convertBitDepth(source, bits);
        ASSERT_EQ(copy.type(), CV_8UC3) << bits;
        EXPECT_NE(copy.data, source.data) << bits;
        EXPECT_EQ(samples<std::uint8_t>(copy), samples<std::uint8_t>(source)) << bits;
    }
}

TEST(BitDepthConversion, WordsGoToFloatsOrTruncatedBytes) {
    const cv::Mat source = row<std::uint16_t>(CV_16U, {0, 257, 65535, 65534, 32767, 256});
    const cv::Mat floats = convertBitDepth(source, 32);
    ASSERT_EQ(floats.type(), CV_32FC3);
    EXPECT_EQ(samples<float>(floats)[2], 1.0f);
    EXPECT_EQ(samples<float>(floats)[0], 0.0f);

    for (int bits : {8, 12, 64}) {
        const cv::Mat bytes = convertBitDepth(source, bits);
        ASSERT_EQ(bytes.type(), CV_8UC3);
        // 65534 * 255 / 65535 = 254.996 and 256 * 255 / 65535 = 0.996: truncated, not rounded.
        EXPECT_EQ(samples<std::uint8_t>(bytes), (std::vector<std::uint8_t>{0, 1, 255, 254, 127, 0})) << bits;
    }
}

TEST(BitDepthConversion, FloatsAreTruncatedIntoWordsAndBytes) {
    const cv::Mat source = row<float>(CV_32F, {0.0f, 1.0f, 0.999f, 0.5f, 0.0039f, 0.25f});
    const cv::Mat words = convertBitDepth(source, 16);
    ASSERT_EQ(words.type(), CV_16UC3);
    EXPECT_EQ(samples<std::uint16_t>(words),
              (std::vector<std::uint16_t>{0, 65535, 65469, 32767, 255, 16383}));

    const cv::Mat bytes = convertBitDepth(source, 8);
    ASSERT_EQ(bytes.type(), CV_8UC3);
    EXPECT_EQ(samples<std::uint8_t>(bytes), (std::vector<std::uint8_t>{0, 255, 254, 127, 0, 63}));
    EXPECT_EQ(convertBitDepth(source, 24).type(), CV_8UC3);
}

TEST(BitDepthConversion, FloatsOutsideTheUnitRangeAndNanAreClamped) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const cv::Mat source = row<float>(CV_32F, {-0.5f, 1.5f, nan, inf, -inf, 300.0f});
    EXPECT_EQ(samples<std::uint8_t>(convertBitDepth(source, 8)), (std::vector<std::uint8_t>{0, 255, 0, 255, 0, 255}));
    EXPECT_EQ(samples<std::uint16_t>(convertBitDepth(source, 16)),
              (std::vector<std::uint16_t>{0, 65535, 0, 65535, 0, 65535}));
}

TEST(BitDepthConversion, SamplesAreReadByTheirSizeWhateverTheSignedness) {
    // -1 as a signed byte is the bit pattern 255.
    const cv::Mat signedBytes = row<std::int8_t>(CV_8S, {-1, 0, 1});
    EXPECT_EQ(samples<std::uint16_t>(convertBitDepth(signedBytes, 16)), (std::vector<std::uint16_t>{65535, 0, 257}));
    const cv::Mat signedWords = row<std::int16_t>(CV_16S, {-1, 0, 1});
    EXPECT_EQ(samples<std::uint8_t>(convertBitDepth(signedWords, 8)), (std::vector<std::uint8_t>{255, 0, 0}));
}

TEST(BitDepthConversion, DoublesGiveAnEmptyImage) {
    const cv::Mat source(2, 2, CV_64FC3, cv::Scalar::all(0.5));
    for (int bits : {8, 16, 32, 64}) EXPECT_TRUE(convertBitDepth(source, bits).empty()) << bits;
}

TEST(BitDepthConversion, HalfFloatsAreWidenedBeforeConversion) {
    cv::Mat half;
    row<float>(CV_32F, {0.0f, 0.5f, 1.0f}).convertTo(half, CV_16F);
    EXPECT_EQ(samples<std::uint8_t>(convertBitDepth(half, 8)), (std::vector<std::uint8_t>{0, 127, 255}));
}

TEST(BitDepthConversion, ViewIntoALargerImageIsConvertedRowByRow) {
    cv::Mat whole(4, 6, CV_8UC3);
    for (int y = 0; y < whole.rows; ++y) whole.row(y).setTo(cv::Scalar::all(10 * y));
    const cv::Mat view = whole(cv::Rect(1, 1, 3, 2));
    const cv::Mat words = convertBitDepth(view, 16);
    ASSERT_EQ(words.size(), view.size());
    EXPECT_TRUE(words.isContinuous());
    EXPECT_EQ(words.at<cv::Vec3w>(0, 0)[0], 10 * 257);
    EXPECT_EQ(words.at<cv::Vec3w>(1, 2)[2], 20 * 257);
}

} // namespace
