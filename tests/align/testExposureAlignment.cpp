#include "align/ExposureAlignment.hpp"
#include "common/ExceptionCause.hpp"
#include "tests/support/TestData.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <gtest/gtest.h>

using namespace tl;

namespace {

cv::Mat colourPhotograph(const std::string& name) {
    return cv::imread(testDataPath("bracket-desk/" + name), cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
}

cv::Mat greyOf(const cv::Mat& image) {
    if (image.channels() == 1) return image;
    cv::Mat grey;
    cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat asType(const cv::Mat& image8, int type) {
    cv::Mat converted = image8;
    if (CV_MAT_CN(type) == 1) converted = greyOf(image8);
    const double scale = CV_MAT_DEPTH(type) == CV_16U ? 257.0 : CV_MAT_DEPTH(type) == CV_32F ? 1.0 / 255 : 1.0;
    converted.convertTo(converted, CV_MAT_DEPTH(type), scale);
    return converted;
}

bool identical(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0;
}

constexpr int margin = 24;

// A window of the scene as a camera at the instant image's place saw it, and the same
// window as a camera moved by (dx, dy) saw it: its content lies (dx, dy) further on.
cv::Mat sceneWindow(const cv::Mat& photograph, int dx = 0, int dy = 0) {
    const cv::Rect window(margin - dx, margin - dy, photograph.cols - 2 * margin, photograph.rows - 2 * margin);
    return photograph(window).clone();
}

}  // namespace

// Two exposures of the bracket, 2 stops apart, with the second one's content moved by
// (3, -2) pixels: once aligned it must lie on the instant image pixel for pixel, and the
// strip that the move uncovered keeps the exposure's own pixels.
class AlignedExposure : public testing::TestWithParam<int> {};

TEST_P(AlignedExposure, LiesOnTheInstantImagePixelForPixel) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    const int type = GetParam();
    const cv::Mat instant = asType(sceneWindow(colourPhotograph("img05.jpg")), type);
    const cv::Mat darker = colourPhotograph("img07.jpg");
    const cv::Mat inPlace = asType(sceneWindow(darker), type);
    const cv::Mat exposure = asType(sceneWindow(darker, 3, -2), type);
    const cv::Mat exposureBefore = exposure.clone();

    const cv::Mat aligned = alignExposure(greyOf(instant), exposure, instant.channels());

    ASSERT_EQ(aligned.size(), instant.size());
    ASSERT_EQ(aligned.type(), type);
    EXPECT_TRUE(identical(exposure, exposureBefore)) << "the exposure itself was changed";
    const cv::Rect covered(0, 2, aligned.cols - 3, aligned.rows - 2);
    EXPECT_TRUE(identical(aligned(covered), inPlace(covered)));
    const cv::Rect uncoveredColumns(aligned.cols - 3, 0, 3, aligned.rows);
    const cv::Rect uncoveredRows(0, 0, aligned.cols, 2);
    EXPECT_TRUE(identical(aligned(uncoveredColumns), exposure(uncoveredColumns)));
    EXPECT_TRUE(identical(aligned(uncoveredRows), exposure(uncoveredRows)));
}

INSTANTIATE_TEST_SUITE_P(Types, AlignedExposure, testing::Values(CV_8UC3, CV_8UC1, CV_16UC3, CV_32FC3));

// The alignment's failure, thrown by the call.
Failure alignmentFailureOf(const cv::Mat& greyInstant, const cv::Mat& exposure, int instantChannels) {
    try {
        alignExposure(greyInstant, exposure, instantChannels);
    } catch (const StepFailure& failure) {
        return failure.failure();
    }
    ADD_FAILURE() << "the alignment did not fail";
    return {};
}

TEST(ExposureAlignment, FailuresAreThrownWithTheirCause) {
    cv::Mat textured(60, 80, CV_8UC3);
    cv::randu(textured, 0, 256);
    const cv::Mat flatGrey(60, 80, CV_8U, cv::Scalar(90));
    // A flat instant image: nothing to correlate with.
    const Failure flat = alignmentFailureOf(flatGrey, textured, 3);
    EXPECT_EQ(flat.code, Failure::Code::alignmentFailed);
    EXPECT_EQ(flat.detail, "The align option failed: The exposure and the instant image do not correlate: there is "
                           "nothing to align them by. Please try to disable this option next times.");
    // Two channels have no grey conversion: the library's exception must not escape.
    cv::Mat twoChannels(60, 80, CV_8UC2);
    cv::randu(twoChannels, 0, 256);
    const Failure library = alignmentFailureOf(greyOf(textured), twoChannels, 2);
    EXPECT_NE(library.detail.find("The align option failed: The image library failed: "), std::string::npos)
        << library.detail;
    // An exposure of another size cannot lie on the instant image.
    EXPECT_EQ(alignmentFailureOf(greyOf(textured), textured(cv::Rect(0, 0, 70, 60)).clone(), 3).code,
              Failure::Code::alignmentFailed);
}

// A lack of memory is blamed as the report always has, with the cause on a line of its own
// when the cause is another one but empty.
TEST(ExposureAlignment, MemoryFailuresKeepTheirOldWording) {
    EXPECT_EQ(alignmentFailure(notEnoughMemory).detail,
              "The align option failed maybe because of a lack of memory, try to disable this option next times.\n" +
                  notEnoughMemory);
    EXPECT_EQ(alignmentFailure("").detail,
              "The align option failed maybe because of a lack of memory, try to disable this option next times.");
}
