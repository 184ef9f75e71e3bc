#include "reference/FrameExposures.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tl;

namespace {

CaptureSettings taken(double time, std::optional<double> fNumber = std::nullopt, std::optional<double> iso = std::nullopt) {
    return {time, fNumber, iso};
}

TEST(StopsBetweenTest, NominalSpeedsCountAsTheThirdsTheyStandFor) {
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(1.0 / 30), taken(1.0 / 125)), 2);  // 1/32 s really
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(1.0 / 500), taken(1.0 / 125)), -2);
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(1.0 / 60), taken(1.0 / 250)), 2);
    EXPECT_NEAR(*stopsBetween(taken(1.0 / 110), taken(1.0 / 125)), std::log2(125.0 / 110), 1e-12);  // no third near
}

TEST(StopsBetweenTest, ApertureAndIsoCountWhereBothFramesTellThem) {
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(0.01, 4, 200), taken(0.01, 8, 100)), 3);
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(0.01, 4, 200), taken(0.01)), 0);
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(0.01, 4), taken(0.01, 5.6, 400)), 1);
}

TEST(StopsBetweenTest, AbsurdOrMissingValuesTellNothing) {
    EXPECT_FALSE(stopsBetween(CaptureSettings{}, taken(0.01)));
    EXPECT_FALSE(stopsBetween(taken(0.01), CaptureSettings{}));
    EXPECT_FALSE(stopsBetween(taken(0), taken(0.01)));
    EXPECT_FALSE(stopsBetween(taken(1e6), taken(0.01)));
    EXPECT_DOUBLE_EQ(*stopsBetween(taken(0.02, 0.01, 1e9), taken(0.01, 2, 100)), 1);  // f/0.01 and ISO 10^9 ignored
}

TEST(SettleExposuresTest, TagsWinWhenTheImagesConfirmThemAndLoseWhenNot) {
    const auto settled = settleExposures({-2.0, 0.0, 2.0}, {-1.8, 0.0, 0.9}, std::nullopt, 1);
    EXPECT_EQ(settled[0].source, ExposureSource::exif);
    EXPECT_DOUBLE_EQ(settled[0].stops, -2);
    EXPECT_FALSE(settled[0].disputed());
    EXPECT_EQ(settled[2].source, ExposureSource::images);
    EXPECT_DOUBLE_EQ(settled[2].stops, 0.9);
    EXPECT_TRUE(settled[2].disputed());
}

TEST(SettleExposuresTest, ImagesFillInAndNothingMeansEqual) {
    const auto settled = settleExposures({std::nullopt, 0.0, std::nullopt}, {-1.1, 0.0, std::nullopt}, std::nullopt, 1);
    EXPECT_EQ(settled[0].source, ExposureSource::images);
    EXPECT_DOUBLE_EQ(settled[0].stops, -1.1);
    EXPECT_FALSE(settled[0].disputed());
    EXPECT_EQ(settled[2].source, ExposureSource::assumed);
    EXPECT_DOUBLE_EQ(settled[2].stops, 0);
}

TEST(SettleExposuresTest, AGivenListOverridesEverythingRelativeToTheInstantImage) {
    const auto settled = settleExposures({-2.0, 0.0, 2.0}, {-2.0, 0.0, 2.0}, std::vector<double>{1, 3, 4}, 1);
    EXPECT_DOUBLE_EQ(settled[0].stops, -2);
    EXPECT_DOUBLE_EQ(settled[2].stops, 1);
    EXPECT_EQ(settled[2].source, ExposureSource::given);
}

} // namespace
