#include "align/MatchPatch.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

cv::Mat noise(int rows, int cols, int type, uint64_t seed) {
    cv::Mat image(rows, cols, type);
    cv::RNG rng(seed);
    rng.fill(image, cv::RNG::UNIFORM, 0, 256);
    return image;
}

// Copies the side x side square of from at (fromY, fromX) into to at (toY, toX).
void copySquare(const cv::Mat& from, int fromY, int fromX, cv::Mat& to, int toY, int toX, int side) {
    from(cv::Rect(fromX, fromY, side, side)).copyTo(to(cv::Rect(toX, toY, side, side)));
}

struct Match {
    int dy = 99, dx = 99;
    double score = -1;
};

Match match(int y, int x, int t, int r, const cv::Mat& A, const cv::Mat& B) {
    Match m;
    m.score = matchPatch(y, x, t, r, m.dy, m.dx, A, B);
    return m;
}

// The patch was found unchanged, moved by (dy, dx).
void expectExact(const Match& m, int dy, int dx) {
    EXPECT_EQ(m.dy, dy);
    EXPECT_EQ(m.dx, dx);
    EXPECT_EQ(m.score, 0);
}

TEST(MatchPatch, FindsKnownShiftsOfATexturedImage) {
    const cv::Mat A = noise(120, 160, CV_8UC3, 1);
    expectExact(match(60, 80, 8, 20, A, A), 0, 0);

    // B shows A's content moved 3 rows down and 5 columns left.
    cv::Mat B = noise(120, 160, CV_8UC3, 2);
    A(cv::Rect(5, 0, 155, 117)).copyTo(B(cv::Rect(0, 3, 155, 117)));
    expectExact(match(60, 80, 8, 20, A, B), 3, -5);
}

TEST(MatchPatch, SearchesDisplacementsFromTMinusRToRMinusTMinusOne) {
    const cv::Mat A = noise(100, 100, CV_8UC1, 3);
    for (int shift : {-12, 11, -13, 12}) {
        cv::Mat B = noise(100, 100, CV_8UC1, 4);
        copySquare(A, 42, 42, B, 42 + shift, 42 + shift, 17);
        const Match m = match(50, 50, 8, 20, A, B);
        const bool reachable = shift >= -12 && shift <= 11;
        EXPECT_EQ(m.dy == shift && m.dx == shift, reachable) << "shift " << shift;
    }
}

TEST(MatchPatch, PatchAtTheTopLeftCornerStartsAtZero) {
    const cv::Mat A = noise(100, 100, CV_8UC3, 5);
    cv::Mat B = noise(100, 100, CV_8UC3, 6);
    copySquare(A, 0, 0, B, 30, 40, 17);
    expectExact(match(0, 0, 8, 60, A, B), 30, 40);
}

TEST(MatchPatch, LastColumnOf640WidePatchStartsAt622AndWindowEndsBefore639) {
    const cv::Mat A = noise(60, 640, CV_8UC3, 7);
    cv::Mat B = noise(60, 640, CV_8UC3, 8);
    // The patch is columns 622 to 638 of rows 22 to 38.
    copySquare(A, 22, 622, B, 22, 600, 17);
    expectExact(match(30, 639, 8, 40, A, B), 0, -22);

    // A perfect copy reaching column 639 lies outside the window (its end column is
    // excluded); a slightly spoilt copy elsewhere is found instead.
    cv::Mat B2 = noise(60, 640, CV_8UC3, 9);
    copySquare(A, 22, 622, B2, 22, 623, 17);
    copySquare(A, 22, 622, B2, 10, 610, 17);
    B2.at<cv::Vec3b>(10, 610) += cv::Vec3b(40, 40, 40);
    const Match edge = match(30, 639, 8, 40, A, B2);
    EXPECT_EQ(edge.dy, -12);
    EXPECT_EQ(edge.dx, -12);
    EXPECT_GT(edge.score, 0);
}

TEST(MatchPatch, PatchAtTheBottomRowKeepsOneFreeRow) {
    const cv::Mat A = noise(80, 80, CV_8UC1, 10);
    cv::Mat B = noise(80, 80, CV_8UC1, 11);
    copySquare(A, 62, 30, B, 50, 30, 17);  // rows 62..78: the last row, 79, stays free
    const Match m = match(79, 38, 8, 40, A, B);
    EXPECT_EQ(m.dy, -12);
    EXPECT_EQ(m.dx, 0);
}

TEST(MatchPatch, FlatAreaGivesTheFirstPlacement) {
    for (int level : {0, 128, 255}) {
        const cv::Mat flat(120, 120, CV_8UC3, cv::Scalar::all(level));
        const Match m = match(60, 60, 8, 20, flat, flat);
        EXPECT_EQ(m.dy, 8 - 20) << "level " << level;
        EXPECT_EQ(m.dx, 8 - 20) << "level " << level;
    }
}

TEST(MatchPatch, WindowSmallerThanThePatchGivesNoDisplacementAndInfiniteScore) {
    const cv::Mat A = noise(100, 100, CV_8UC3, 12);
    const Match smallRadius = match(50, 50, 8, 7, A, A);
    EXPECT_EQ(smallRadius.dy, 0);
    EXPECT_EQ(smallRadius.dx, 0);
    EXPECT_TRUE(std::isinf(smallRadius.score));

    const cv::Mat tiny = noise(17, 40, CV_8UC3, 13);  // a patch needs 18 rows
    const Match tooSmall = match(8, 20, 8, 20, tiny, tiny);
    EXPECT_EQ(tooSmall.dy, 0);
    EXPECT_EQ(tooSmall.dx, 0);
    EXPECT_TRUE(std::isinf(tooSmall.score));
}

} // namespace
