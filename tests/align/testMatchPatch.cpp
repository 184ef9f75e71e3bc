#include "align/MatchPatch.hpp"
#include "align/PatchSearch.hpp"
#include "align/RowMatcher.hpp"
#include "align/WindowStatistics.hpp"
#include "tests/support/EveryTarget.hpp"
#include "tests/support/TestData.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

using namespace tl;

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
    const PatchMatch found = matchPatch({y, x, t, r}, A, B);
    return {found.dy, found.dx, found.score};
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


// ---------------------------------------------------------------------------------------
// The exact search against a plain exhaustive one.

// Every placement of the patch in the window, summed in integers; the first smallest wins.
Match exhaustive(int y, int x, int t, int r, const cv::Mat& A, const cv::Mat& B) {
    const int side = 2 * t + 1;
    int xp = std::max(0, x - t), yp = std::max(0, y - t);
    if (xp + side >= A.cols) xp = A.cols - side - 1;
    if (yp + side >= A.rows) yp = A.rows - side - 1;
    const int x0 = std::max(0, x - r), x1 = std::min(B.cols - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(B.rows - 1, y + r);
    Match best{0, 0, std::numeric_limits<double>::infinity()};
    if (xp < 0 || yp < 0) return best;
    const int values = side * A.channels();
    for (int py = y0; py + side <= y1; ++py)
        for (int px = x0; px + side <= x1; ++px) {
            long long sum = 0;
            for (int i = 0; i < side; ++i) {
                const uint8_t* a = A.ptr<uint8_t>(yp + i, xp);
                const uint8_t* b = B.ptr<uint8_t>(py + i, px);
                for (int k = 0; k < values; ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
            }
            if (static_cast<double>(sum) < best.score) best = Match{py - yp, px - xp, static_cast<double>(sum)};
        }
    if (std::isinf(best.score)) best.dy = best.dx = 0;
    return best;
}

struct Centre {
    int y, x;
};

// Tile centres every step pixels, the first at half a step.
std::vector<Centre> tileCentres(cv::Size size, int step) {
    std::vector<Centre> centres;
    for (int y = step / 2; y < size.height; y += step)
        for (int x = step / 2; x < size.width; x += step) centres.push_back({y, x});
    return centres;
}

// The matcher equals the exhaustive search (displacement and score) at every centre, on
// every instruction set. Returns how many centres had a finite score.
int expectExhaustiveAt(const std::vector<Centre>& centres, int t, int r, const cv::Mat& A, const cv::Mat& B) {
    std::vector<Match> expected;
    for (const Centre& c : centres) expected.push_back(exhaustive(c.y, c.x, t, r, A, B));
    onEveryTarget([&] {
        for (size_t i = 0; i < centres.size(); ++i) {
            const Match m = match(centres[i].y, centres[i].x, t, r, A, B);
            ASSERT_TRUE(m.dy == expected[i].dy && m.dx == expected[i].dx && m.score == expected[i].score)
                << "centre (" << centres[i].y << ", " << centres[i].x << ") t " << t << " r " << r << ": ("
                << m.dy << ", " << m.dx << ") " << m.score << " instead of (" << expected[i].dy << ", "
                << expected[i].dx << ") " << expected[i].score;
        }
    });
    return static_cast<int>(std::count_if(expected.begin(), expected.end(), [](const Match& m) { return std::isfinite(m.score); }));
}

// A photograph-like texture: smooth blobs with fine noise, any channel count.
cv::Mat scene(int rows, int cols, int channels, uint64_t seed) {
    cv::Mat coarse(rows / 8 + 1, cols / 8 + 1, CV_8UC(channels)), smooth, fine(rows, cols, CV_8UC(channels));
    cv::RNG rng(seed);
    rng.fill(coarse, cv::RNG::UNIFORM, 0, 256);
    cv::resize(coarse, smooth, cv::Size(cols, rows), 0, 0, cv::INTER_CUBIC);
    rng.fill(fine, cv::RNG::UNIFORM, 0, 24);
    return smooth + fine;
}

TEST(ExactMatchPatch, EqualsTheExhaustiveSearchAtEveryTileOfBurstFrames) {
    // The ball moves 24 columns a frame; the tiles cover it, the grass and the sky.
    const BurstScene burst(cv::Size(240, 160), 5);
    const cv::Mat first = burst.frame(1), second = burst.frame(2);
    EXPECT_GT(expectExhaustiveAt(tileCentres(first.size(), 9), 8, 20, first, second), 300);
    EXPECT_GT(expectExhaustiveAt(tileCentres(first.size(), 18), 16, 32, first, second), 70);
}

TEST(ExactMatchPatch, EqualsTheExhaustiveSearchOnTheDeskPhotographsInColourAndGrey) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    // The lamp, the plants and the window's edge: 1 s against 0.3 s exposure.
    const cv::Rect part(380, 200, 256, 192);
    const cv::Mat A = cv::imread(testDataPath("bracket-desk/img05.jpg"))(part).clone();
    const cv::Mat B = cv::imread(testDataPath("bracket-desk/img07.jpg"))(part).clone();
    ASSERT_EQ(A.type(), CV_8UC3);
    cv::Mat greyA, greyB;
    cv::cvtColor(A, greyA, cv::COLOR_BGR2GRAY);
    cv::cvtColor(B, greyB, cv::COLOR_BGR2GRAY);
    EXPECT_GT(expectExhaustiveAt(tileCentres(A.size(), 16), 8, 24, A, B), 150);
    EXPECT_GT(expectExhaustiveAt(tileCentres(A.size(), 16), 8, 24, greyA, greyB), 150);
    EXPECT_GT(expectExhaustiveAt(tileCentres(A.size(), 32), 16, 40, greyA, greyB), 30);
}

TEST(ExactMatchPatch, EqualsTheExhaustiveSearchAtEdgesCornersAndCentresOutside) {
    for (int channels : {1, 3, 4}) {
        SCOPED_TRACE(channels);
        const cv::Mat A = scene(48, 64, channels, 20 + channels), B = scene(48, 64, channels, 30 + channels);
        std::vector<Centre> centres;
        for (int y : {-31, -12, -1, 0, 4, 8, 24, 39, 40, 47, 48, 55, 60, 80})
            for (int x : {-40, -12, -1, 0, 5, 8, 32, 55, 56, 63, 64, 70, 76, 100}) centres.push_back({y, x});
        EXPECT_GT(expectExhaustiveAt(centres, 4, 12, A, B), 40);
        EXPECT_GT(expectExhaustiveAt(centres, 8, 30, A, B), 40);
    }
}

// Patches of one and three rows: fewer rows than the search checks its partial sums at.
TEST(ExactMatchPatch, EqualsTheExhaustiveSearchForPatchesOfOneAndThreeRows) {
    for (int channels : {1, 3}) {
        SCOPED_TRACE(channels);
        const cv::Mat A = scene(48, 64, channels, 60 + channels), B = scene(48, 64, channels, 70 + channels);
        const std::vector<Centre> centres = tileCentres(A.size(), 7);
        EXPECT_GT(expectExhaustiveAt(centres, 0, 9, A, B), 50);
        EXPECT_GT(expectExhaustiveAt(centres, 1, 9, A, B), 50);
    }
}

TEST(ExactMatchPatch, WindowOfExactlyThePatchHasOnePlacementAndOneNarrowerHasNone) {
    const cv::Mat A = scene(60, 60, 3, 40), B = scene(60, 60, 3, 41);
    // At the corner (0, 0) the window spans columns and rows 0 .. r - 1.
    const Match one = match(0, 0, 8, 17, A, B);
    EXPECT_EQ(one.dy, 0);
    EXPECT_EQ(one.dx, 0);
    EXPECT_EQ(one.score, exhaustive(0, 0, 8, 17, A, B).score);
    EXPECT_TRUE(std::isfinite(one.score));
    const Match none = match(0, 0, 8, 16, A, B);
    EXPECT_EQ(none.dy, 0);
    EXPECT_EQ(none.dx, 0);
    EXPECT_TRUE(std::isinf(none.score));
    // One column of placements, several rows.
    EXPECT_GT(expectExhaustiveAt({{30, 0}, {20, 59}}, 8, 17, A, B), 0);
}

TEST(ExactMatchPatch, FlatAreaInTexturedImagesGivesTheFirstOfTheTies) {
    for (int channels : {1, 3, 4}) {
        SCOPED_TRACE(channels);
        cv::Mat A = scene(100, 100, channels, 50), B = scene(100, 100, channels, 51);
        A(cv::Rect(30, 30, 40, 40)).setTo(cv::Scalar::all(90));
        B(cv::Rect(20, 25, 60, 50)).setTo(cv::Scalar::all(90));
        // Every placement inside B's flat rectangle scores 0: the first one, at (25, 20), wins.
        const Match m = match(50, 50, 8, 40, A, B);
        EXPECT_EQ(m.dy, 25 - 42);
        EXPECT_EQ(m.dx, 20 - 42);
        EXPECT_EQ(m.score, 0);
        expectExhaustiveAt({{50, 50}, {45, 40}, {60, 55}}, 8, 40, A, B);
    }
}

TEST(ExactMatchPatch, WideWindowSpanningSeveralBandsOfWork) {
    // Over a thousand placement columns of 4 channels: the search works through the
    // window in bands of rows, carrying its best placement from one to the next.
    const cv::Mat A = scene(300, 1200, 4, 60), B = scene(300, 1200, 4, 61);
    EXPECT_EQ(expectExhaustiveAt({{150, 600}, {10, 1190}}, 2, 700, A, B), 2);
    // The same image: the patch's own place scores 0 and rules out whole bands.
    EXPECT_EQ(expectExhaustiveAt({{150, 600}, {290, 3}}, 2, 700, A, A), 2);
}

TEST(ExactMatchPatch, AnyChannelCountAndLargePatches) {
    for (int channels : {2, 5, 8}) {
        SCOPED_TRACE(channels);
        const cv::Mat A = scene(64, 80, channels, 80 + channels), B = scene(64, 80, channels, 90 + channels);
        EXPECT_EQ(expectExhaustiveAt({{32, 40}, {5, 75}}, 6, 20, A, B), 2);
    }
    const cv::Mat A = scene(160, 160, 3, 95), B = scene(160, 160, 3, 96);
    EXPECT_EQ(expectExhaustiveAt({{80, 80}, {20, 140}}, 40, 70, A, B), 2);
}

TEST(ExactMatchPatch, HintsChangeNothing) {
    const cv::Mat A = scene(120, 160, 3, 70), B = scene(120, 160, 3, 71);
    for (const Centre& c : tileCentres(A.size(), 20)) {
        const Match expected = exhaustive(c.y, c.x, 8, 24, A, B);
        for (cv::Point hint : {cv::Point(0, 0), cv::Point(expected.dx, expected.dy), cv::Point(5, -3),
                               cv::Point(-24, -24), cv::Point(1000, -1000)}) {
            const PatchMatch m = matchPatch({c.y, c.x, 8, 24}, A, B, hint);
            EXPECT_TRUE(m.dy == expected.dy && m.dx == expected.dx && m.score == expected.score)
                << "centre (" << c.y << ", " << c.x << ") hint " << hint;
        }
    }
}

TEST(ExactMatchPatch, SinglePrecisionScoresOfTheTemplateSearchMisorderNearTies) {
    // Two copies of the patch in a window of strong texture: the earlier one off by one
    // level in two values (score 2), the later off by one level in one value (score 1).
    // The template search's single-precision scores carry errors far above 1, so for
    // some contents they rank the copies wrongly; the exact search never does.
    const int t = 16, side = 2 * t + 1;
    int misordered = 0;
    for (uint64_t seed = 1; seed <= 12; ++seed) {
        const cv::Mat A = noise(120, 120, CV_8UC3, seed);
        cv::Mat B = noise(120, 120, CV_8UC3, 100 + seed);
        copySquare(A, 44, 44, B, 10, 20, side);
        copySquare(A, 44, 44, B, 70, 60, side);
        B.at<cv::Vec3b>(10, 20)[0] ^= 1;
        B.at<cv::Vec3b>(11, 21)[1] ^= 1;
        B.at<cv::Vec3b>(70, 60)[2] ^= 1;
        const Match exact = match(60, 60, t, 60, A, B);
        EXPECT_EQ(exact.dy, 70 - 44);
        EXPECT_EQ(exact.dx, 60 - 44);
        EXPECT_EQ(exact.score, 1);

        cv::Mat scores;
        cv::matchTemplate(B(cv::Rect(0, 0, 119, 119)), A(cv::Rect(44, 44, side, side)), scores, cv::TM_SQDIFF);
        cv::Point at;
        cv::minMaxLoc(scores, nullptr, nullptr, &at, nullptr);
        if (at != cv::Point(60, 70)) ++misordered;
    }
    EXPECT_GT(misordered, 0);
}

// ---------------------------------------------------------------------------------------
// Rows of patches matched together, over shared window statistics.

// Matches rows of tile centres (every step pixels, the first at half a step) with one
// RowMatcher, row after row as the band workers do, on every instruction set, with the
// windows searched one by one and in groups; each match equals the exhaustive search's.
// Returns how many had a finite score.
int expectRowsExhaustive(const cv::Mat& A, const cv::Mat& B, int t, int r, int step, size_t budget,
                         const std::vector<int>& rows, const std::vector<int>& columns) {
    std::vector<std::vector<Match>> expected;
    int finite = 0;
    for (int y : rows) {
        expected.emplace_back();
        for (int x : columns) {
            expected.back().push_back(exhaustive(y, x, t, r, A, B));
            finite += std::isfinite(expected.back().back().score);
        }
    }
    for (int groupedHeight : {RowMatcher::kGroupedHeight, 0}) onEveryTarget([&] {
        SCOPED_TRACE(groupedHeight == 0 ? "in groups" : "one by one");
        RowMatcher matcher(A, B, t, r, budget, groupedHeight);
        for (size_t i = 0; i < rows.size(); ++i) {
            const std::vector<PatchMatch> got = matcher.matchRow(rows[i], columns);
            ASSERT_EQ(got.size(), columns.size());
            for (size_t k = 0; k < columns.size(); ++k) {
                const Match& e = expected[i][k];
                ASSERT_TRUE(got[k].dy == e.dy && got[k].dx == e.dx && got[k].score == e.score)
                    << "centre (" << rows[i] << ", " << columns[k] << ") step " << step << " budget " << budget
                    << ": (" << got[k].dy << ", " << got[k].dx << ") " << got[k].score << " instead of (" << e.dy
                    << ", " << e.dx << ") " << e.score;
            }
        }
    });
    return finite;
}

std::vector<int> every(int from, int to, int step) {
    std::vector<int> values;
    for (int v = from; v < to; v += step) values.push_back(v);
    return values;
}

TEST(RowMatcher, EqualsTheExhaustiveSearchOverTheBurstsMovingBall) {
    // Rows of tiles over the ball, which moves 24 columns a frame: neighbouring tiles and
    // rows hand their displacements on as hints.
    const BurstScene burst(cv::Size(240, 160), 5);
    const cv::Mat first = burst.frame(1), second = burst.frame(2);
    const std::vector<int> rows = every(4, 160, 9), columns = every(4, 240, 9);
    // Budgets: the whole row in one run; a few tiles a run; no window fits, every patch
    // is searched on its own.
    for (size_t budget : {size_t{24} << 20, size_t{90} << 10, size_t{16} << 10})
        EXPECT_GT(expectRowsExhaustive(first, second, 8, 20, 9, budget, rows, columns), 400);
}

TEST(RowMatcher, EqualsTheExhaustiveSearchAtEdgesGapsAndCentresOutside) {
    for (int channels : {1, 3, 4}) {
        SCOPED_TRACE(channels);
        const cv::Mat A = scene(48, 64, channels, 120 + channels), B = scene(48, 64, channels, 130 + channels);
        // Columns with gaps between windows, windows cut by the edges, and centres
        // beyond the image, whose windows are empty, amid the others.
        const std::vector<int> columns{-40, -12, -1, 0, 5, 8, 9, 32, 55, 56, 63, 64, 70, 100, 110};
        const std::vector<int> rows{-31, -1, 0, 8, 24, 39, 40, 47, 48, 60};
        EXPECT_GT(expectRowsExhaustive(A, B, 4, 12, 1, size_t{24} << 20, rows, columns), 40);
        EXPECT_GT(expectRowsExhaustive(A, B, 8, 30, 1, size_t{64} << 10, rows, columns), 30);
    }
}

TEST(RowMatcher, HintsOnALaterTieGiveTheFirstPlacement) {
    // Flat areas: every placement inside B's flat rectangle scores 0. The previous tile's
    // and the previous row's displacements point at later ties; the first one still wins.
    cv::Mat A = scene(100, 140, 3, 150), B = scene(100, 140, 3, 151);
    A(cv::Rect(30, 30, 80, 40)).setTo(cv::Scalar::all(90));
    B(cv::Rect(20, 25, 100, 50)).setTo(cv::Scalar::all(90));
    EXPECT_GT(expectRowsExhaustive(A, B, 8, 40, 9, size_t{24} << 20, {50, 41, 59}, every(40, 101, 4)), 40);
}

TEST(RowMatcher, GroupsOfNeighboursOverManyBandsEqualTheExhaustiveSearch) {
    // Windows of 121 placement rows (several bands, the last one short) over the ball,
    // which moves 48 columns between the frames; rows of tiles with gaps (tiles without a
    // ghost), runs that leave a short group at their end, and windows cut by both edges.
    const BurstScene burst(cv::Size(240, 160), 5);
    const cv::Mat first = burst.frame(1), second = burst.frame(3);
    std::vector<int> columns = every(4, 90, 9);
    for (int x : {112, 121, 148, 157, 166, 175, 184, 193, 202, 211, 220, 229, 238}) columns.push_back(x);
    ASSERT_GT(columns.size(), 2 * RowMatcher::kGroup);
    EXPECT_GT(expectRowsExhaustive(first, second, 8, 60, 9, size_t{24} << 20, {40, 85, 121}, columns), 60);
}

TEST(SearchWindows, EverySearchOfAGroupGivesItsOwnResult) {
    // Windows of one band of statistics that differ in width and start, with homes
    // outside some of them and candidates or none; the searches before each one hand on
    // placements that are ties or out of its window.
    const int side = 9, rows = 70, cols = 150;
    cv::Mat A = scene(rows, cols, 3, 170), B = scene(rows, cols, 3, 171);
    B(cv::Rect(20, 10, 60, 40)).setTo(cv::Scalar::all(70));
    A(cv::Rect(10, 10, 40, 20)).setTo(cv::Scalar::all(70));
    const cv::Rect span(0, 2, cols, rows - 2);
    struct Case {
        int windowX, windowWidth, patchX, patchY;
        Placement home;
        std::vector<Placement> candidates;
    };
    const std::vector<Case> cases{{0, 40, 12, 12, {-5, -5}, {}},          {5, 60, 20, 12, {3, 70}, {{10, 30}}},
                                  {30, 120, 40, 40, {0, 0}, {{0, 0}, {5, 5}}}, {100, 50, 60, 5, {60, 2}, {}},
                                  {141, 9, 30, 20, {1, 0}, {}}};
    // Every patch also lies unchanged in its window, in a band after the first.
    for (size_t j = 0; j < cases.size(); ++j)
        copySquare(A, cases[j].patchY, cases[j].patchX, B, span.y + 30 + 6 * static_cast<int>(j),
                   cases[j].windowX + (cases[j].windowWidth - side) / 2, side);
    WindowStatistics statistics;
    statistics.compute(B.ptr(span.y, span.x), B.step, span.height, span.width, side, 3);
    std::vector<PatchSearch> searches;
    std::vector<std::span<const Placement>> candidates;
    std::vector<Placement> homes;
    for (const Case& c : cases) {
        searches.push_back(PatchSearch{A.ptr(c.patchY, c.patchX), A.step, B.ptr(span.y, c.windowX), B.step, side, 3,
                                       span.height, c.windowWidth, &statistics, 0, c.windowX});
        candidates.emplace_back(c.candidates);
        homes.push_back(c.home);
    }
    onEveryTarget([&] {
        std::vector<Placement> together(cases.size());
        searchWindows(searches, candidates, homes, together);
        for (size_t j = 0; j < cases.size(); ++j) {
            PatchSearch alone = searches[j];
            alone.statistics = nullptr;
            const Placement expected = searchWindow(alone, {});
            EXPECT_TRUE(together[j].row == expected.row && together[j].column == expected.column &&
                        together[j].score == expected.score)
                << "search " << j << ": (" << together[j].row << ", " << together[j].column << ") "
                << together[j].score << " instead of (" << expected.row << ", " << expected.column << ") "
                << expected.score;
        }
    });
}

TEST(WindowStatistics, RowAndPlacementSumsAreExactAndSpreadsCloseToTheExactOnes) {
    const int side = 5, channels = 3, rows = 12, cols = 30;
    const cv::Mat image = scene(20, 40, channels, 160);
    const cv::Rect part(3, 4, cols, rows);
    WindowStatistics statistics;
    statistics.compute(image.ptr(part.y, part.x), image.step, rows, cols, side, channels);
    ASSERT_EQ(statistics.placementRows(), rows - side + 1);
    ASSERT_EQ(statistics.placementColumns(), cols - side + 1);
    // Sum and spread (over all channels) of an h x side rectangle of the part.
    const auto exact = [&](int row, int column, int h, int channel) {
        long long sum = 0;
        for (int i = 0; i < h; ++i)
            for (int k = 0; k < side; ++k) sum += image.at<cv::Vec3b>(part.y + row + i, part.x + column + k)[channel];
        return sum;
    };
    const auto spread = [&](int row, int column, int h) {
        double square = 0;
        for (int c = 0; c < channels; ++c) {
            long long squares = 0;
            for (int i = 0; i < h; ++i)
                for (int k = 0; k < side; ++k) {
                    const int v = image.at<cv::Vec3b>(part.y + row + i, part.x + column + k)[c];
                    squares += v * v;
                }
            const long long sum = exact(row, column, h, c);
            square += static_cast<double>(h * side * squares - sum * sum);
        }
        return std::sqrt(square);
    };
    // The search walks the row statistics by steps of paddedColumns().
    for (int i = 0; i < rows; ++i)
        for (int c = 0; c <= channels; ++c)
            ASSERT_EQ(statistics.rowStatistics(i, c),
                      statistics.rowStatistics(0, 0) + (i * (channels + 1) + c) * statistics.paddedColumns());
    for (int i = 0; i < rows; ++i)
        for (int x = 0; x < statistics.placementColumns(); ++x) {
            for (int c = 0; c < channels; ++c) ASSERT_EQ(statistics.rowStatistics(i, c)[x], exact(i, x, 1, c));
            ASSERT_NEAR(statistics.rowStatistics(i, channels)[x], spread(i, x, 1), 1e-3);
        }
    for (int p = 0; p < statistics.placementRows(); ++p)
        for (int x = 0; x < statistics.placementColumns(); ++x) {
            for (int c = 0; c < channels; ++c) ASSERT_EQ(statistics.boxSums(p, c)[x], exact(p, x, side, c));
            ASSERT_NEAR(statistics.boxSpreads(p)[x], spread(p, x, side), 1e-2);
        }
}

// A block's range holds every placement's sums and spread in the block, and is reached
// by them (inside the placement columns: past them the padding's values count too).
TEST(WindowStatistics, BlockRangesAreTheLeastAndLargestOfTheirPlacements) {
    const int side = 5, channels = 3, rows = 45, cols = 60;
    const cv::Mat image = scene(rows, cols, channels, 170);
    WindowStatistics statistics;
    statistics.compute(image.ptr(), image.step, rows, cols, side, channels);
    const int blockRows = WindowStatistics::kRangeRows, blockCols = WindowStatistics::kRangeColumns;
    const int placements = statistics.placementColumns();
    ASSERT_GT(statistics.placementRows(), 2 * blockRows);  // a partial block row as well
    for (int channel = 0; channel <= channels; ++channel) {
        SCOPED_TRACE(channel);
        const auto value = [&](int p, int x) {
            return channel < channels ? statistics.boxSums(p, channel)[x] : statistics.boxSpreads(p)[x];
        };
        for (int top = 0; top < statistics.placementRows(); top += blockRows)
            for (int left = 0; left < placements; left += blockCols) {
                const float* least = statistics.boxRanges(top, channel) + left / blockCols;
                const float* largest = least + statistics.rangeStride();
                float low = std::numeric_limits<float>::infinity(), high = -low;
                for (int p = top; p < std::min(top + blockRows, statistics.placementRows()); ++p) {
                    ASSERT_EQ(statistics.boxRanges(p, channel), statistics.boxRanges(top, channel));
                    for (int x = left; x < std::min(left + blockCols, placements); ++x) {
                        low = std::min(low, value(p, x));
                        high = std::max(high, value(p, x));
                    }
                }
                SCOPED_TRACE(testing::Message() << "block at (" << top << ", " << left << ")");
                if (left + blockCols <= placements) {
                    EXPECT_EQ(*least, low);
                    EXPECT_EQ(*largest, high);
                } else {
                    EXPECT_LE(*least, low);
                    EXPECT_GE(*largest, high);
                }
            }
    }
}

} // namespace
