#include "output/RadianceWriter.hpp"

#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/resource.h>

#include <cmath>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <random>

using namespace tl;

namespace {

const std::string headerOf2x3 = "#?RADIANCE\n#Created by Tessaline\nFORMAT=32-bit_rle_rgbe\n\n-Y 2 +X 3\n";

// The pixel encoding written out step by step: the largest channel split by frexp in
// double precision, the scale computed in single precision, each product truncated.
std::string referencePixel(float b, float g, float r) {
    float largest = r;
    if (g > largest) largest = g;
    if (b > largest) largest = b;
    if (static_cast<double>(largest) < 1e-32) return std::string(4, '\0');
    int exponent = 0;
    const double mantissa = std::frexp(static_cast<double>(largest), &exponent);
    const float scale = static_cast<float>(mantissa) * 256.0f / largest;
    const char bytes[4] = {static_cast<char>(static_cast<int>(r * scale)),
                           static_cast<char>(static_cast<int>(g * scale)),
                           static_cast<char>(static_cast<int>(b * scale)), static_cast<char>(exponent + 128)};
    return std::string(bytes, 4);
}

// Writes a one-row image of the given B, G, R pixels and returns the pixel bytes.
std::string pixelBytes(const TempFolder& folder, const std::vector<cv::Vec3f>& pixels) {
    const cv::Mat image(1, static_cast<int>(pixels.size()), CV_32FC3, const_cast<cv::Vec3f*>(pixels.data()));
    const std::string path = folder.file("row.hdr");
    EXPECT_TRUE(writeRadiance(path, image));
    const std::string bytes = readFile(path);
    return bytes.substr(bytes.size() - 4 * pixels.size());
}

std::string bytes(std::initializer_list<int> values) {
    std::string text;
    for (int v : values) text.push_back(static_cast<char>(v));
    return text;
}

TEST(RadianceWriter, SmallImageIsHeaderThenFourBytesPerPixel) {
    TempFolder folder;
    cv::Mat image(2, 3, CV_32FC3, cv::Scalar(0.25f, 0.5f, 1.0f));
    image.at<cv::Vec3f>(1, 2) = cv::Vec3f(0.75f, 0.75f, 0.75f);
    image.at<cv::Vec3f>(0, 1) = cv::Vec3f(0.0f, 0.0f, 0.0f);
    const std::string path = folder.file("small.hdr");
    ASSERT_TRUE(writeRadiance(path, image));

    const std::string expectedPixels = bytes({128, 64, 32, 129, 0, 0, 0, 0, 128, 64, 32, 129,   //
                                              128, 64, 32, 129, 128, 64, 32, 129, 192, 192, 192, 128});
    EXPECT_EQ(readFile(path), headerOf2x3 + expectedPixels);
}

TEST(RadianceWriter, PixelsBelowTheThresholdAreBlack) {
    TempFolder folder;
    const std::string written = pixelBytes(folder, {{1e-33f, 0, 0}, {0, 1e-32f, 0}, {0, 0, 1e-32f}});
    EXPECT_EQ(written.substr(0, 4), std::string(4, '\0'));
    EXPECT_NE(written.substr(4, 4), std::string(4, '\0'));
    EXPECT_EQ(written.substr(4, 4), referencePixel(0, 1e-32f, 0));
    EXPECT_EQ(written.substr(8, 4), referencePixel(0, 0, 1e-32f));
}

TEST(RadianceWriter, NegativeAndNonFiniteChannelsAreStoredAsZero) {
    TempFolder folder;
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::string written =
        pixelBytes(folder, {{-1.0f, 0.5f, 1.0f}, {nan, nan, nan}, {0.25f, inf, 1.0f}, {-2.0f, -3.0f, -4.0f}});
    EXPECT_EQ(written.substr(0, 4), bytes({128, 64, 0, 129}));
    EXPECT_EQ(written.substr(4, 4), std::string(4, '\0'));
    EXPECT_EQ(written.substr(8, 4), bytes({128, 0, 32, 129}));
    EXPECT_EQ(written.substr(12, 4), std::string(4, '\0'));
}

TEST(RadianceWriter, EveryPixelMatchesTheStepByStepEncoding) {
    TempFolder folder;
    std::mt19937 random(7);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> power(-100, 100);
    std::vector<cv::Vec3f> pixels;
    for (int i = 0; i < 4000; ++i) {
        const float magnitude = std::ldexp(1.0f, power(random));
        pixels.emplace_back(unit(random) * magnitude, unit(random) * magnitude, unit(random) * magnitude);
    }
    const std::string written = pixelBytes(folder, pixels);
    for (std::size_t i = 0; i < pixels.size(); ++i)
        ASSERT_EQ(written.substr(4 * i, 4), referencePixel(pixels[i][0], pixels[i][1], pixels[i][2]))
            << "pixel " << i << ": " << pixels[i];
}

TEST(RadianceWriter, PhotographReadsBackWithinTheFormatsPrecision) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    TempFolder folder;
    cv::Mat photo = cv::imread(testDataPath("bracket-desk/img05.jpg"), cv::IMREAD_COLOR);
    ASSERT_FALSE(photo.empty());
    cv::Mat floats;
    photo.convertTo(floats, CV_32F, 1.0 / 255);
    const std::string path = folder.file("photo.hdr");
    ASSERT_TRUE(writeRadiance(path, floats));

    const cv::Mat back = cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
    ASSERT_EQ(back.type(), CV_32FC3);
    ASSERT_EQ(back.size(), floats.size());
    // Eight mantissa bits shared by the pixel: each channel is off by less than 1/128
    // of the pixel's largest channel.
    double worst = 0;
    for (int y = 0; y < floats.rows; ++y)
        for (int x = 0; x < floats.cols; ++x) {
            const cv::Vec3f a = floats.at<cv::Vec3f>(y, x), b = back.at<cv::Vec3f>(y, x);
            const float largest = std::max({a[0], a[1], a[2]});
            for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(a[c] - b[c]) - largest / 128.0);
        }
    EXPECT_LE(worst, 1e-6);
}

TEST(RadianceWriter, RefusesWhatItCannotHold) {
    TempFolder folder;
    const std::string path = folder.file("refused.hdr");
    EXPECT_FALSE(writeRadiance(path, cv::Mat(2, 2, CV_32FC1, cv::Scalar(0.5))));
    EXPECT_FALSE(writeRadiance(path, cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(5))));
    EXPECT_FALSE(writeRadiance(path, cv::Mat(0, 0, CV_32FC3)));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(writeRadiance(folder.file("no-such-folder/a.hdr"), cv::Mat(2, 2, CV_32FC3, cv::Scalar::all(0.5))));
}

TEST(RadianceWriter, FailedWriteLeavesNoPartialFile) {
    TempFolder folder;
    // A file size limit makes the writes fail after the first few hundred bytes.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    const rlimit before = limit;
    limit.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    const std::string path = folder.file("cut.hdr");
    const bool written = writeRadiance(path, cv::Mat(64, 64, CV_32FC3, cv::Scalar::all(0.5)));
    setrlimit(RLIMIT_FSIZE, &before);
    EXPECT_FALSE(written);
    EXPECT_FALSE(std::filesystem::exists(path));
}

} // namespace
