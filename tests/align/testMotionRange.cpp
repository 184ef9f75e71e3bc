#include "align/GridCornerDetector.hpp"
#include "align/MotionRange.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

using namespace tl;

namespace {

TEST(MotionRange, RadiusIsTheMedianDisplacementPlusAMargin) {
    EXPECT_EQ(radiusFromSamples(std::vector<float>(7, 25.0f), 8), 23);
    EXPECT_EQ(radiusFromSamples({100.0f, 4.0f}, 8), 28);       // even count: the upper middle one
    EXPECT_EQ(radiusFromSamples({}, 8), 18);
    EXPECT_EQ(radiusFromSamples({125.0f}, 8), 29);              // 11.18 truncated
    EXPECT_EQ(radiusFromSamples({576.0f}, 8), 42);              // 24 is not beyond 3h
    EXPECT_EQ(radiusFromSamples({625.0f, 1.0f, 900.0f}, 8), 35);  // beyond 3h the margin is h + 2
}

TEST(MotionRange, FloatTextureThresholdFollowsTheInstantImagesLargestElement) {
    cv::Mat floats(4, 4, CV_32FC3, cv::Scalar::all(0.25f));
    floats.at<cv::Vec3f>(2, 3)[1] = 4.0f;
    EXPECT_FLOAT_EQ(textureThreshold(floats), 0.09f);
}

cv::Mat checkerboard(int rows, int cols, int square) {
    cv::Mat board(rows, cols, CV_8UC3);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
            board.at<cv::Vec3b>(y, x) = ((y / square + x / square) % 2) ? cv::Vec3b(220, 220, 220) : cv::Vec3b(30, 30, 30);
    return board;
}

TEST(GridCornerDetector, KeepsTheStrongestFewOfEachCellInRowMajorOrder) {
    const cv::Mat board = checkerboard(200, 300, 7);
    const cv::Mat everywhere(200, 300, CV_8UC1, cv::Scalar(255));
    const cv::Ptr<cv::GFTTDetector> detector = cv::GFTTDetector::create(1000, 0.01, 2.0, 3);
    const std::vector<cv::KeyPoint> corners = detectGridCorners(board, everywhere, *detector, 300, 10, 10);
    ASSERT_EQ(corners.size(), 300u);
    int lastCell = -1;
    std::vector<int> perCell(100, 0);
    for (const cv::KeyPoint& corner : corners) {
        const int cell = static_cast<int>(corner.pt.y) / 20 * 10 + static_cast<int>(corner.pt.x) / 30;
        EXPECT_GE(cell, lastCell);
        lastCell = cell;
        ++perCell[cell];
    }
    for (int count : perCell) EXPECT_EQ(count, 3);

    EXPECT_TRUE(detectGridCorners(board, everywhere, *detector, 99, 10, 10).empty());
}

TEST(GridCornerDetector, LooksOnlyInsideTheMask) {
    const cv::Mat board = checkerboard(200, 300, 7);
    cv::Mat mask = cv::Mat::zeros(200, 300, CV_8UC1);
    mask(cv::Rect(0, 0, 100, 60)).setTo(255);
    const cv::Ptr<cv::GFTTDetector> detector = cv::GFTTDetector::create(1000, 0.01, 2.0, 3);
    const std::vector<cv::KeyPoint> corners = detectGridCorners(board, mask, *detector, 300, 10, 10);
    EXPECT_FALSE(corners.empty());
    for (const cv::KeyPoint& corner : corners) {
        EXPECT_LT(corner.pt.x, 100);
        EXPECT_LT(corner.pt.y, 60);
    }
}

// A softly textured 640 x 480 scene; the exposure shows its central square moved by
// (dy, dx). The ghost mask covers both places of the square.
struct MovingSquare {
    MotionRangeEstimator estimator;
    ExposurePair pair;
    cv::Mat mask;

    MovingSquare(int rows, int cols, int dy, int dx) {
        cv::Mat noise(rows, cols, CV_8UC3), square(80, 80, CV_8UC3);
        cv::RNG rng(11);
        rng.fill(noise, cv::RNG::UNIFORM, 0, 256);
        rng.fill(square, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(noise, noise, cv::Size(7, 7), 2.0);
        cv::GaussianBlur(square, square, cv::Size(5, 5), 1.0);
        const cv::Rect here(cols / 2 - 40, rows / 2 - 40, 80, 80);
        cv::Mat instant = noise.clone(), exposure = noise.clone();
        square.copyTo(instant(here));
        square.copyTo(exposure(here + cv::Point(dx, dy)));
        mask = cv::Mat::zeros(rows, cols, CV_8UC1);
        mask(here).setTo(255);
        mask(here + cv::Point(dx, dy)).setTo(255);
        pair = {instant, exposure, instant, exposure};
    }
    int estimate(const cv::Mat& ghostMask) { return estimator.estimate(pair, ghostMask, 8, 2).searchRadius; }
};

TEST(MotionRange, MeasuresHowFarTheMovingContentTravelled) {
    MovingSquare scene(480, 640, 6, 8);  // 10 pixels
    EXPECT_EQ(scene.estimate(scene.mask), 28);
    EXPECT_GT(cv::countNonZero(scene.estimator.cornerMask()), 0);
}

TEST(MotionRange, CornerMaskIsKeptForTheRestOfTheRun) {
    MovingSquare scene(480, 640, 0, 12);
    const int first = scene.estimate(scene.mask);
    const cv::Mat corners = scene.estimator.cornerMask();
    // No corner lies in an empty ghost mask, yet the stored corners serve again.
    EXPECT_EQ(scene.estimate(cv::Mat::zeros(480, 640, CV_8UC1)), first);
    EXPECT_EQ(scene.estimator.cornerMask().data, corners.data);
    EXPECT_EQ(first, 30);
}

TEST(MotionRange, WithoutCornersOrCandidatesTheRadiusIsTheSmallest) {
    MovingSquare noCorners(480, 640, 0, 12);
    EXPECT_EQ(noCorners.estimate(cv::Mat::zeros(480, 640, CV_8UC1)), 17);
    EXPECT_TRUE(noCorners.estimator.cornerMask().empty());

    // Every pixel of a 33-row image lies within 16 rows of an edge: corners, no candidate.
    MovingSquare strip(480, 640, 0, 12);
    const cv::Rect band(0, 200, 640, 33);
    const cv::Mat instant = strip.pair.instant(band).clone(), exposure = strip.pair.exposure(band).clone();
    strip.pair = {instant, exposure, instant, exposure};
    EXPECT_EQ(strip.estimate(cv::Mat(33, 640, CV_8UC1, cv::Scalar(255))), 18);
    EXPECT_FALSE(strip.estimator.cornerMask().empty());
}

TEST(MotionRange, SixteenBitAndFloatImagesGiveTheSameRadius) {
    MovingSquare scene(480, 640, 6, 8);
    for (int depth : {CV_16U, CV_32F}) {
        MovingSquare deep(480, 640, 6, 8);
        const double scale = depth == CV_16U ? 257.0 : 1.0 / 255.0;
        deep.pair.instant.convertTo(deep.pair.instant, depth, scale);
        deep.pair.exposure.convertTo(deep.pair.exposure, depth, scale);
        EXPECT_EQ(deep.estimate(deep.mask), 28) << depth;
    }
}

TEST(MotionRange, GreyImagesAtEveryDepthGiveTheRadiusOfTheirMotion) {
    for (int depth : {CV_8U, CV_16U, CV_32F}) {
        MovingSquare grey(480, 640, 6, 8);
        cv::Mat instant, exposure;
        cv::cvtColor(grey.pair.instant, instant, cv::COLOR_BGR2GRAY);
        cv::cvtColor(grey.pair.exposure, exposure, cv::COLOR_BGR2GRAY);
        const double scale = depth == CV_16U ? 257.0 : depth == CV_32F ? 1.0 / 255.0 : 1.0;
        cv::Mat deepInstant, deepExposure;
        instant.convertTo(deepInstant, depth, scale);
        exposure.convertTo(deepExposure, depth, scale);
        grey.pair = {deepInstant, deepExposure, instant, exposure};
        EXPECT_EQ(grey.estimate(grey.mask), 28) << depth;
    }
}

TEST(MotionRange, ManyMovingSquaresGiveTheSameRadiusAndMatchesOnAnyNumberOfThreads) {
    // Twelve squares, each moved its own way: more candidates than are verified, whose
    // median depends on which ones are taken and in which order. The first square's
    // exposure holds a hard pattern inverted, which no patch match verifies: the
    // candidates there are passed over and more are matched.
    MovingSquare scene(480, 640, 0, 0);
    cv::Mat texture(48, 48, CV_8UC3);
    cv::RNG rng(12);
    cv::Mat exposure = scene.pair.exposure.clone(), instant = scene.pair.instant.clone();
    scene.mask.setTo(0);
    for (int k = 0; k < 12; ++k) {
        rng.fill(texture, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(texture, texture, cv::Size(5, 5), 1.0);
        const cv::Rect here(60 + (k % 4) * 140, 60 + (k / 4) * 130, 48, 48);
        const cv::Point moved(2 + 2 * k, k % 3 - 1);
        if (k == 0) cv::threshold(texture, texture, 128, 255, cv::THRESH_BINARY);
        texture.copyTo(instant(here));
        if (k == 0) texture = cv::Scalar::all(255) - texture;
        texture.copyTo(exposure(here + moved));
        scene.mask(here).setTo(255);
        scene.mask(here + moved).setTo(255);
    }
    scene.pair = {instant, exposure, instant, exposure};
    std::vector<int> radii;
    std::vector<long long> matches;
    for (int threads : {1, 2, 3, 4}) {
        MotionRangeEstimator estimator;
        const MotionRange range = estimator.estimate(scene.pair, scene.mask, 8, threads);
        radii.push_back(range.searchRadius);
        matches.push_back(range.patchesMatched);
    }
    EXPECT_GT(matches[0], 30);
    // What matching the candidates one after another gives.
    EXPECT_EQ(radii[0], 33);
    for (size_t k = 1; k < radii.size(); ++k) {
        EXPECT_EQ(radii[k], radii[0]) << k + 1 << " threads";
        EXPECT_EQ(matches[k], matches[0]) << k + 1 << " threads";
    }
}

} // namespace
