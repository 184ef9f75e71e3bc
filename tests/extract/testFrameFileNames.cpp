#include "extract/FrameFileNames.hpp"

#include <gtest/gtest.h>

using namespace tl;

namespace {

TEST(FrameFileNamesTest, NumbersArePaddedToTheWidthOfThePlannedCount) {
    const FrameFileNames names("/out", "base", "jpg", 250);
    EXPECT_EQ(names.name(1), "/out/base001.jpg");
    EXPECT_EQ(names.name(42), "/out/base042.jpg");
    EXPECT_EQ(names.name(250), "/out/base250.jpg");
}

TEST(FrameFileNamesTest, CountsOfOneDigitAndAtPowersOfTen) {
    EXPECT_EQ(FrameFileNames("o", "b", "png", 5).name(5), "o/b5.png");
    EXPECT_EQ(FrameFileNames("o", "b", "png", 1).name(1), "o/b1.png");
    const FrameFileNames ten("o", "b", "png", 10);
    EXPECT_EQ(ten.name(1), "o/b01.png");
    EXPECT_EQ(ten.name(9), "o/b09.png");
    EXPECT_EQ(ten.name(10), "o/b10.png");
    EXPECT_EQ(FrameFileNames("o", "b", "png", 99).name(7), "o/b07.png");
    EXPECT_EQ(FrameFileNames("o", "b", "png", 100).name(7), "o/b007.png");
    EXPECT_EQ(FrameFileNames("o", "b", "png", 1000).name(999), "o/b0999.png");
}

TEST(FrameFileNamesTest, NumbersFromTenThousandOnAreNeverPadded) {
    const FrameFileNames names("o", "b", "tif", 123456);
    EXPECT_EQ(names.name(1), "o/b000001.tif");
    EXPECT_EQ(names.name(9999), "o/b009999.tif");
    EXPECT_EQ(names.name(10000), "o/b10000.tif");
    EXPECT_EQ(names.name(99999), "o/b99999.tif");
    EXPECT_EQ(names.name(123456), "o/b123456.tif");
}

TEST(FrameFileNamesTest, OneTrailingSlashOfTheFolderIsDropped) {
    EXPECT_EQ(FrameFileNames("/out/", "b", "jpg", 3).name(2), "/out/b2.jpg");
    EXPECT_EQ(FrameFileNames("/out", "b", "jpg", 3).name(2), "/out/b2.jpg");
    EXPECT_EQ(FrameFileNames("/out//", "b", "jpg", 3).name(2), "/out//b2.jpg");
    EXPECT_EQ(FrameFileNames("", "b", "jpg", 3).name(2), "/b2.jpg");
}

} // namespace
