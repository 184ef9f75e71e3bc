#include "align/ecc/EccTranslation.hpp"
#include "tests/support/TestData.hpp"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tl;

namespace {

const cv::TermCriteria alignmentCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 5,
                                         static_cast<double>(0.001f));

cv::Mat greyPhotograph() {
    return cv::imread(testDataPath("bracket-desk/img05.jpg"), cv::IMREAD_GRAYSCALE);
}

// A template and an input whose content is the template's moved by (dx, dy) pixels.
// Both are cut from the photograph at twice the size and halved by area averaging, which
// moves the content by exactly half of the whole-pixel offset between the two cuts.
struct ShiftedPair {
    cv::Mat templ;
    cv::Mat input;
};

ShiftedPair shiftedPair(const cv::Mat& photograph, double dx, double dy) {
    const int margin = 16;
    const cv::Size size(photograph.cols - 2 * margin, photograph.rows - 2 * margin);
    const cv::Point origin(margin, margin);
    const cv::Point moved = origin - cv::Point(static_cast<int>(std::lround(2 * dx)),
                                               static_cast<int>(std::lround(2 * dy)));
    ShiftedPair pair;
    cv::resize(photograph(cv::Rect(origin, size)), pair.templ, {}, 0.5, 0.5, cv::INTER_AREA);
    cv::resize(photograph(cv::Rect(moved, size)), pair.input, {}, 0.5, 0.5, cv::INTER_AREA);
    return pair;
}

void expectLinearPartIsIdentity(const cv::Mat& warp) {
    EXPECT_EQ(warp.at<float>(0, 0), 1.0f);
    EXPECT_EQ(warp.at<float>(0, 1), 0.0f);
    EXPECT_EQ(warp.at<float>(1, 0), 0.0f);
    EXPECT_EQ(warp.at<float>(1, 1), 1.0f);
}

cv::Mat identityWarp() { return cv::Mat::eye(2, 3, CV_32F); }

}  // namespace

TEST(EccTranslation, IdenticalImagesKeepTheIdentityAndStopAfterTheSecondIteration) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    const cv::Mat photograph = greyPhotograph();
    cv::Mat warp = identityWarp();
    EccTrace trace;
    ASSERT_TRUE(estimateEccTranslation(photograph, photograph, warp, alignmentCriteria, &trace));
    EXPECT_EQ(trace.iterations, 2);
    EXPECT_NEAR(trace.correlation, 1.0, 1e-6);
    EXPECT_NEAR(warp.at<float>(0, 2), 0.0f, 1e-3);
    EXPECT_NEAR(warp.at<float>(1, 2), 0.0f, 1e-3);
    expectLinearPartIsIdentity(warp);
}

class EccKnownShift : public testing::TestWithParam<cv::Point2d> {};

TEST_P(EccKnownShift, IsRecoveredWithinATenthOfAPixelAndAgreesWithOpenCv) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    const cv::Point2d shift = GetParam();
    const ShiftedPair pair = shiftedPair(greyPhotograph(), shift.x, shift.y);

    cv::Mat warp = identityWarp();
    EccTrace trace;
    ASSERT_TRUE(estimateEccTranslation(pair.templ, pair.input, warp, alignmentCriteria, &trace));
    EXPECT_LE(trace.iterations, 5);
    EXPECT_GT(trace.correlation, 0.99);
    EXPECT_NEAR(warp.at<float>(0, 2), shift.x, 0.1);
    EXPECT_NEAR(warp.at<float>(1, 2), shift.y, 0.1);
    expectLinearPartIsIdentity(warp);

    cv::Mat reference = identityWarp();
    cv::findTransformECC(pair.templ, pair.input, reference, cv::MOTION_TRANSLATION, alignmentCriteria,
                         cv::noArray(), 5);
    EXPECT_NEAR(warp.at<float>(0, 2), reference.at<float>(0, 2), 0.25);
    EXPECT_NEAR(warp.at<float>(1, 2), reference.at<float>(1, 2), 0.25);
}

INSTANTIATE_TEST_SUITE_P(WholeAndFractional, EccKnownShift,
                         testing::Values(cv::Point2d(3, -2), cv::Point2d(1.5, 0.5), cv::Point2d(-2.5, 0)));

TEST(EccTranslation, UncorrelatedImagesGiveTheNullResultInTheFirstIteration) {
    const cv::Mat textured = [] {
        cv::Mat noise(64, 80, CV_8U);
        cv::randu(noise, 0, 256);
        return noise;
    }();
    const cv::Mat flat(64, 80, CV_8U, cv::Scalar(128));
    for (const cv::Mat& input : {textured, flat}) {
        cv::Mat warp = identityWarp();
        EccTrace trace;
        EXPECT_FALSE(estimateEccTranslation(flat, input, warp, alignmentCriteria, &trace));
        EXPECT_EQ(trace.iterations, 1);
    }
}

TEST(EccTranslation, AnInputHoldingNotANumberGivesTheNullResultAndAFiniteWarp) {
    cv::Mat input(48, 48, CV_32F);
    cv::randu(input, 0.0f, 1.0f);
    const cv::Mat templ = input.clone();
    input.at<float>(20, 20) = std::numeric_limits<float>::quiet_NaN();
    cv::Mat warp = identityWarp();
    EXPECT_FALSE(estimateEccTranslation(templ, input, warp, alignmentCriteria));
    EXPECT_TRUE(cv::checkRange(warp));
}

TEST(EccTranslation, TerminationCriteriaChooseTheIterationCount) {
    cv::Mat image(40, 40, CV_16U);
    cv::randu(image, 0, 65536);
    struct Case {
        cv::TermCriteria criteria;
        int iterations;
    };
    // Identical images settle at once, so only a count keeps the loop going; without a
    // count the loop still ends after 200 iterations.
    const Case cases[] = {
        {cv::TermCriteria(cv::TermCriteria::COUNT, 7, 0.5), 7},
        {cv::TermCriteria(cv::TermCriteria::EPS, 7, 0.001), 2},
        {cv::TermCriteria(cv::TermCriteria::EPS, 7, -1.0), 200},
        {cv::TermCriteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 1, 0.001), 1},
    };
    for (const Case& c : cases) {
        cv::Mat warp = identityWarp();
        EccTrace trace;
        EXPECT_TRUE(estimateEccTranslation(image, image, warp, c.criteria, &trace));
        EXPECT_EQ(trace.iterations, c.iterations) << "criteria type " << c.criteria.type;
    }
}
