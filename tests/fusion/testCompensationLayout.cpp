#include "fusion/CompensationLayout.hpp"

#include <gtest/gtest.h>

using namespace tl;

namespace {

TEST(CompensationLayout, TileSizeIsAtLeastOneAndOdd) {
    EXPECT_EQ(normaliseTileSize(-4), 1);
    EXPECT_EQ(normaliseTileSize(0), 1);
    EXPECT_EQ(normaliseTileSize(1), 1);
    EXPECT_EQ(normaliseTileSize(2), 1);
    EXPECT_EQ(normaliseTileSize(3), 3);
    EXPECT_EQ(normaliseTileSize(10), 9);
    EXPECT_EQ(normaliseTileSize(11), 11);
}

TEST(CompensationLayout, HundredRowsInBandsOfNineForFourWorkers) {
    const BandLayout layout{100, 60, 8, 9};
    EXPECT_EQ(layout.firstInteriorRow(), 9);
    EXPECT_EQ(layout.lastInteriorRow(), 90);
    EXPECT_EQ(layout.workerFirstCentres(4), (std::vector<long long>{13, 22, 31, 40}));
    // Ten bands: the last one starts on row 90 and is one row high.
    EXPECT_TRUE(layout.bandInside(13 + 9 * 9));
    EXPECT_FALSE(layout.bandInside(13 + 10 * 9));

    const ProgressPlan first = progressPlan(layout, 13, 4);  // nb = 80 / 36 = 2
    EXPECT_EQ(first.interval, 1);
    EXPECT_FLOAT_EQ(first.step, 12.5f);
    EXPECT_FALSE(first.addsAfter(0));
    EXPECT_TRUE(first.addsAfter(1));
    EXPECT_TRUE(first.addsAfter(2));
}

TEST(CompensationLayout, NoMoreWorkersThanBands) {
    const BandLayout layout{40, 60, 8, 9};  // interior rows 9 to 30: three bands
    EXPECT_EQ(layout.workerFirstCentres(8), (std::vector<long long>{13, 22, 31}));
    EXPECT_EQ(layout.workerFirstCentres(1), (std::vector<long long>{13}));
}

TEST(CompensationLayout, ProgressStepsOfTallImagesAndWorkersWithoutARound) {
    const BandLayout tall{2000, 60, 8, 9};
    const ProgressPlan plan = progressPlan(tall, 13, 2);  // nb = 1980 / 18 = 110
    EXPECT_EQ(plan.interval, 5);
    EXPECT_FLOAT_EQ(plan.step, 100.0f / 40.0f);
    EXPECT_TRUE(plan.addsAfter(5));
    EXPECT_FALSE(plan.addsAfter(6));

    // With eight workers on 100 rows, the second one's rows below its first band do not
    // make a whole round of 72: it adds no progress.
    const BandLayout small{100, 60, 8, 9};
    const ProgressPlan none = progressPlan(small, 22, 8);
    EXPECT_FALSE(none.addsAfter(1));
    EXPECT_EQ(none.step, 0.0f);
}

} // namespace
