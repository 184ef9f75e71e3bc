#include "extract/FrameWindow.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <limits>

using namespace tl;

namespace {

void expectWindow(std::int64_t frames, int s, int e, int d, std::int64_t first, std::int64_t count) {
    const FrameWindow w = computeFrameWindow(frames, s, e, d);
    EXPECT_EQ(w.first, first) << "F=" << frames << " S=" << s << " E=" << e << " D=" << d;
    EXPECT_EQ(w.count, count) << "F=" << frames << " S=" << s << " E=" << e << " D=" << d;
}

TEST(FrameWindowTest, FractionsOfTheVideoLength) {
    expectWindow(1000, 250, 500, 1000, 250, 250);
    expectWindow(270, 250, 500, 1000, 67, 68);  // J = 0.27: 67.5 and 135 truncated
    expectWindow(270, 0, 1000, 1000, 0, 270);
}

TEST(FrameWindowTest, ProductsAreRoundedToSinglePrecisionBeforeTruncation) {
    // J = 1.05f lies just below 1.05, so 60 * J and 100 * J fall just below 63 and 105;
    // double precision would start at 63 and end at 105.
    expectWindow(105, 60, 100, 100, 62, 42);
    // Here the float product rounds up to 103 where double stays below it; 103 is past
    // the last frame and is pulled back to 102.
    expectWindow(103, 700, 700, 700, 102, 1);
}

TEST(FrameWindowTest, EmptyOrReversedWindowsTakeOneFrame) {
    expectWindow(1000, 400, 400, 1000, 400, 1);
    expectWindow(1000, 600, 400, 1000, 600, 1);
}

TEST(FrameWindowTest, StartAtOrPastTheEndTakesTheLastFrame) {
    expectWindow(270, 1000, 1000, 1000, 269, 1);
    expectWindow(270, 5000, 9000, 1000, 269, 2430 - 269);
    expectWindow(1, 3, 4, 2, 0, 2);
}

TEST(FrameWindowTest, NegativeStartBeginsAtTheFirstFrame) {
    expectWindow(1000, -100, 100, 1000, 0, 100);
    expectWindow(1000, -500, -100, 1000, 0, 1);
    // A negative denominator with negative numerators is an ordinary fraction.
    expectWindow(1000, -250, -500, -1000, 250, 250);
}

TEST(FrameWindowTest, ExtremeCountsAndNumeratorsStayDefined) {
    constexpr std::int64_t most = std::numeric_limits<std::int64_t>::max();
    const FrameWindow huge = computeFrameWindow(most, INT_MAX, INT_MAX, 1);
    EXPECT_EQ(huge.first, most - 1);
    EXPECT_EQ(huge.count, 1);
    const FrameWindow wide = computeFrameWindow(most, INT_MIN, INT_MAX, 1);
    EXPECT_EQ(wide.first, 0);
    EXPECT_EQ(wide.count, most);
    expectWindow(10, INT_MIN, INT_MIN, -1, 9, 21474836480 - 9);  // 2^31 * 10 is exact in float
}

} // namespace
