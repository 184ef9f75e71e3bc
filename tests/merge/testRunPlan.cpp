#include "merge/RunPlan.hpp"

#include <gtest/gtest.h>

#include <limits>

using namespace tl;

namespace {

TEST(SearchRadius, PercentOfTheLargerSideAtLeastSeventeen) {
    EXPECT_EQ(searchRadiusFor(3000, 4000, 10), 400);
    EXPECT_EQ(searchRadiusFor(1000, 1500, 1), 17);  // 15 is raised
    EXPECT_EQ(searchRadiusFor(1000, 1500, 0), 17);
    EXPECT_EQ(searchRadiusFor(1000, 1500, 1.5f), 22);  // 22.5 truncated
    EXPECT_EQ(searchRadiusFor(768, 1024, -5), -1);
    EXPECT_EQ(searchRadiusFor(768, 1024, -0.5f), -1);
}

TEST(SearchRadius, HugeOrUndefinedPercentagesStayInRange) {
    EXPECT_EQ(searchRadiusFor(768, 1024, 1e30f), 1024);
    EXPECT_EQ(searchRadiusFor(768, 1024, std::numeric_limits<float>::infinity()), 1024);
    EXPECT_EQ(searchRadiusFor(768, 1024, std::numeric_limits<float>::quiet_NaN()), 17);
    EXPECT_EQ(searchRadiusFor(5, 8, 1000), 17);
}

} // namespace
