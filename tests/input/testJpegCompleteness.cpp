#include "input/JpegCompleteness.hpp"
#include "tests/input/ImageFiles.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <vector>

using namespace tl;

namespace {

std::string jpeg(const cv::Mat& image, const std::vector<int>& parameters = {}) {
    std::vector<unsigned char> bytes;
    cv::imencode(".jpg", image, bytes, parameters);
    return std::string(bytes.begin(), bytes.end());
}

// An APP1 segment that holds a whole JPEG, as an EXIF thumbnail does: its end marker lies
// before the main image's scan.
std::string withThumbnail(const std::string& main, const std::string& thumbnail) {
    const std::size_t length = thumbnail.size() + 2;
    std::string segment = "\xFF\xE1";
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    return main.substr(0, 2) + segment + thumbnail + main.substr(2);
}

TEST(JpegCompleteness, WholeFilesAreNotCutShort) {
    const cv::Mat picture = patternImage(64, 80, CV_8UC3);
    const std::string baseline = jpeg(picture);
    EXPECT_FALSE(isCutShortJpeg(baseline));
    EXPECT_FALSE(isCutShortJpeg(jpeg(picture, {cv::IMWRITE_JPEG_PROGRESSIVE, 1})));
    EXPECT_FALSE(isCutShortJpeg(jpeg(picture, {cv::IMWRITE_JPEG_RST_INTERVAL, 2})));
    // Bytes after the end marker (a camera's trailer, padding) do not make it short.
    EXPECT_FALSE(isCutShortJpeg(baseline + std::string(100, '\0')));
    EXPECT_FALSE(isCutShortJpeg(withThumbnail(baseline, jpeg(patternImage(8, 8, CV_8UC3)))));
}

TEST(JpegCompleteness, EveryCutOfTheScanIsFound) {
    const cv::Mat picture = patternImage(64, 80, CV_8UC3);
    for (const std::string& whole : {jpeg(picture), jpeg(picture, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}),
                                     withThumbnail(jpeg(picture), jpeg(patternImage(8, 8, CV_8UC3)))})
        for (std::size_t kept = 3; kept < whole.size(); kept += 7)
            EXPECT_TRUE(isCutShortJpeg(whole.substr(0, kept))) << kept << " of " << whole.size();
}

TEST(JpegCompleteness, OtherFilesAreNoJpegToJudge) {
    EXPECT_FALSE(isCutShortJpeg(""));
    EXPECT_FALSE(isCutShortJpeg("\xFF\xD8"));
    const std::string png = encoded(patternImage(4, 4, CV_8UC3), ".png");
    EXPECT_FALSE(isCutShortJpeg(png.substr(0, png.size() / 2)));
}

} // namespace
