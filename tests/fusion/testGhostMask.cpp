#include "fusion/GhostDetector.hpp"
#include "fusion/GhostThresholds.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstdint>
#include <limits>

using namespace tl;

namespace {

// An instant image and an exposure, ready for the ghost test.
struct GhostCase {
    GhostDetector detector;
    cv::Mat instant, exposure;
    float p;
    GhostMask ghosts;
    GhostCase(const cv::Mat& instant, const cv::Mat& exposure, float p) : instant(instant), exposure(exposure), p(p) {}
    bool build() {
        ghosts = detector.detect(instant, exposure, p);
        return ghosts.noGhost;
    }
    int ghostPixels() const { return cv::countNonZero(ghosts.mask); }
};

// Uniform 8-bit images: is an exposure level `exposed` against an instant level
// `instantLevel` a ghost at p?
bool uniformGhost(int instantLevel, int exposed, float p) {
    GhostCase c(cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(instantLevel)),
                cv::Mat(20, 20, CV_8UC3, cv::Scalar::all(exposed)), p);
    const bool noGhost = c.build();
    EXPECT_EQ(c.ghostPixels(), noGhost ? 0 : 400);
    return !noGhost;
}

TEST(GhostThresholds, EightBitThresholdGrowsFromPTo3Point5PercentMore) {
    EXPECT_FALSE(uniformGhost(0, 25, 10));
    EXPECT_TRUE(uniformGhost(0, 26, 10));
    EXPECT_FALSE(uniformGhost(255, 255 - 34, 10));
    EXPECT_TRUE(uniformGhost(255, 255 - 35, 10));
    // Differences count both ways.
    EXPECT_TRUE(uniformGhost(100, 100 - 40, 10));
    EXPECT_FALSE(uniformGhost(100, 100 + 28, 10));
}

TEST(GhostThresholds, NonPositivePercentageMakesEveryDifferenceAGhost) {
    EXPECT_TRUE(uniformGhost(120, 121, 0));
    EXPECT_TRUE(uniformGhost(120, 119, -5));
    EXPECT_FALSE(uniformGhost(120, 120, 0));
}

TEST(GhostThresholds, FloatTableSpansTheLargestElement) {
    float table[2];
    const ThresholdTableShape shape = thresholdTableShape(CV_32F, 1.0f);
    ASSERT_EQ(shape.length, 2);
    fillThresholdTable(table, shape.length, 10, shape.scale);
    EXPECT_FLOAT_EQ(table[0], 0.1f);
    EXPECT_FLOAT_EQ(table[1], 0.135f);

    EXPECT_EQ(thresholdTableShape(CV_32F, 0.5f).length, 1);
    EXPECT_EQ(thresholdTableShape(CV_32F, -3.0f).length, 1);
    EXPECT_EQ(thresholdTableShape(CV_32F, 1e12f).length, maxThresholdTableLength);
    EXPECT_EQ(thresholdTableShape(CV_32F, std::numeric_limits<float>::infinity()).length, maxThresholdTableLength);
    EXPECT_EQ(thresholdTableShape(CV_32F, std::numeric_limits<float>::quiet_NaN()).length, 1);
}

TEST(GhostMask, AnyChannelBeyondItsThresholdMakesAGhost) {
    cv::Mat instant(20, 20, CV_8UC3, cv::Scalar(50, 50, 50));
    cv::Mat exposure(20, 20, CV_8UC3, cv::Scalar(50, 50, 90));  // red only
    GhostCase c(instant, exposure, 10);
    EXPECT_FALSE(c.build());
    EXPECT_EQ(c.ghostPixels(), 400);
}

TEST(GhostMask, CleanUpGrowsSolidSquaresAndDropsThinLines) {
    cv::Mat instant = cv::Mat::zeros(40, 40, CV_8UC3);
    cv::Mat exposure = instant.clone();
    exposure(cv::Rect(10, 10, 3, 3)).setTo(cv::Scalar::all(200));
    GhostCase square(instant, exposure, 10);
    EXPECT_FALSE(square.build());
    cv::Mat expected = cv::Mat::zeros(40, 40, CV_8UC1);
    expected(cv::Rect(7, 7, 9, 9)).setTo(255);
    EXPECT_EQ(cv::norm(square.ghosts.mask, expected, cv::NORM_INF), 0);

    cv::Mat lined = instant.clone();
    lined(cv::Rect(0, 20, 40, 2)).setTo(cv::Scalar::all(200));
    lined.at<cv::Vec3b>(5, 30) = cv::Vec3b(200, 200, 200);
    GhostCase line(instant, lined, 10);
    EXPECT_FALSE(line.build());  // noGhost is decided before the clean-up
    EXPECT_EQ(line.ghostPixels(), 0);
}

TEST(GhostMask, OutsideTheImageNeitherShrinksNorGrowsTheMask) {
    // A band two rows high along the top edge: inside the image it would vanish, but the
    // outside does not erode it, so its first row stays and grows by 4 pixels.
    cv::Mat instant = cv::Mat::zeros(30, 30, CV_8UC1);
    cv::Mat exposure = instant.clone();
    exposure(cv::Rect(5, 0, 20, 2)).setTo(200);
    GhostCase c(instant, exposure, 10);
    c.build();
    cv::Mat expected = cv::Mat::zeros(30, 30, CV_8UC1);
    expected(cv::Rect(2, 0, 26, 5)).setTo(255);
    EXPECT_EQ(cv::norm(c.ghosts.mask, expected, cv::NORM_INF), 0);
}

TEST(GhostMask, FloatThresholdsUseTheInstantImagesScale) {
    cv::Mat instant(20, 20, CV_32FC3, cv::Scalar::all(0.5f));
    instant.at<cv::Vec3f>(0, 0) = cv::Vec3f(1.0f, 1.0f, 1.0f);  // largest element 1.0
    GhostCase below(instant, instant + cv::Scalar::all(0.09f), 10);
    EXPECT_TRUE(below.build());
    GhostCase above(instant, instant + cv::Scalar::all(0.11f), 10);
    EXPECT_FALSE(above.build());
    EXPECT_EQ(above.ghostPixels(), 400);
}

TEST(GhostMask, FloatImagesWithWildElementsStayInsideTheTable) {
    cv::Mat instant(20, 20, CV_32FC3, cv::Scalar::all(0.5f));
    instant.at<cv::Vec3f>(1, 1) = cv::Vec3f(-7.0f, 1e30f, std::numeric_limits<float>::quiet_NaN());
    instant.at<cv::Vec3f>(2, 2) = cv::Vec3f(std::numeric_limits<float>::infinity(), -1e30f, 3e9f);
    for (const cv::Mat& candidate : {instant, cv::Mat(instant * -1.0)}) {
        GhostCase c(candidate, cv::Mat(20, 20, CV_32FC3, cv::Scalar::all(0.25f)), 10);
        c.build();
        EXPECT_LE(c.detector.thresholds().size(), std::size_t{maxThresholdTableLength});
        EXPECT_GE(c.detector.thresholds().size(), 1u);
    }
}

// The ghost test written out plainly for every pixel, then the same clean-up.
bool referenceMask(const cv::Mat& instant, const cv::Mat& exposure, const GhostDetector& detector, cv::Mat& mask) {
    double largest = 0;
    cv::minMaxLoc(instant.reshape(1), nullptr, &largest);
    const float scale = thresholdTableShape(instant.depth(), static_cast<float>(largest)).scale;
    const std::vector<float>& table = detector.thresholds();
    const int length = static_cast<int>(table.size());
    cv::Mat a, b;
    instant.reshape(1).convertTo(a, CV_32F);
    exposure.reshape(1).convertTo(b, CV_32F);
    mask = cv::Mat::zeros(instant.size(), CV_8UC1);
    bool noGhost = true;
    for (int y = 0; y < instant.rows; ++y)
        for (int x = 0; x < instant.cols; ++x)
            for (int c = 0; c < instant.channels(); ++c) {
                const float va = a.at<float>(y, x * instant.channels() + c);
                const float vb = b.at<float>(y, x * instant.channels() + c);
                const int index = !(va >= 1.0f) ? 0 : va >= static_cast<float>(length - 1) ? length - 1 : static_cast<int>(va);
                if (std::fabs(va - vb) > table[index] * scale) {
                    mask.at<uint8_t>(y, x) = 255;
                    noGhost = false;
                }
            }
    cv::erode(mask, mask, cv::Mat::ones(3, 3, CV_8U));
    cv::dilate(mask, mask, cv::Mat::ones(9, 9, CV_8U));
    return noGhost;
}

// Random scenes at every depth whose differences sit around the thresholds: some rows
// stay within the smallest threshold, others hold blocks just above or below the
// threshold of their pixels, and the float ones carry NaN and infinite elements.
TEST(GhostMask, MaskEqualsThePlainPixelByPixelTest) {
    cv::RNG rng(21);
    for (int depth : {CV_8U, CV_16U, CV_32F}) {
        const double top = depth == CV_8U ? 255 : depth == CV_16U ? 65535 : 1;
        for (int round = 0; round < 12; ++round) {
            const int channels = round % 2 ? 3 : 1;
            cv::Mat instant(40, 37, CV_MAKETYPE(CV_64F, channels)), shift(instant.size(), instant.type());
            rng.fill(instant, cv::RNG::UNIFORM, 0, top);
            shift.setTo(0);
            const double reach = top * (0.08 + 0.01 * (round % 5));  // thresholds start at 10 %
            for (int block = 0; block < 6 + round; ++block) {
                const cv::Rect where(rng.uniform(0, 32), rng.uniform(0, 37), 3 + rng.uniform(0, 3), 3);
                shift(where).setTo(cv::Scalar::all(rng.uniform(-reach, reach)));
            }
            cv::Mat exposure = instant + shift;
            cv::Mat a, b;
            instant.convertTo(a, depth);
            exposure.convertTo(b, depth);
            if (depth == CV_32F && round % 3 == 0) {
                b.at<float>(5, 3) = std::numeric_limits<float>::quiet_NaN();
                a.at<float>(7, 2) = std::numeric_limits<float>::infinity();
                b.at<float>(7, 2) = std::numeric_limits<float>::infinity();
            }
            GhostCase c(a, b, 10);
            const bool noGhost = c.build();
            cv::Mat expected;
            EXPECT_EQ(noGhost, referenceMask(a, b, c.detector, expected)) << depth << " round " << round;
            EXPECT_EQ(cv::countNonZero(c.ghosts.mask != expected), 0) << depth << " round " << round;
        }
    }
}

} // namespace
