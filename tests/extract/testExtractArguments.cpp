#include "extract/ExtractArguments.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

std::optional<ExtractArguments> parse(std::vector<const char*> positions) {
    positions.insert(positions.begin(), "kadrimo");
    return parseExtractArguments(static_cast<int>(positions.size()), positions.data());
}

TEST(ExtractArgumentsTest, NinePositionsAreNeededAndATenthIsTheApplicationFolder) {
    std::vector<const char*> p{"0", "1", "2", "3", "v", "o", "b", "e", "l"};
    for (std::size_t n = 0; n < p.size(); ++n)
        EXPECT_FALSE(parse({p.begin(), p.begin() + static_cast<long>(n)})) << n << " positions";
    ASSERT_TRUE(parse(p));
    EXPECT_FALSE(parse(p)->applicationFolder);
    p.push_back("/opt/app");
    ASSERT_TRUE(parse(p));
    EXPECT_EQ(parse(p)->applicationFolder, "/opt/app");
}

TEST(ExtractArgumentsTest, NumbersReadAsAtoiWouldWithoutOverflow) {
    EXPECT_EQ(readWholeNumber("  -42abc"), -42);
    EXPECT_EQ(readWholeNumber("+17"), 17);
    EXPECT_EQ(readWholeNumber("abc"), 0);
    EXPECT_EQ(readWholeNumber(""), 0);
    EXPECT_EQ(readWholeNumber("2.9"), 2);
    EXPECT_EQ(readWholeNumber("99999999999999999999999"), INT_MAX);
    EXPECT_EQ(readWholeNumber("-99999999999"), INT_MIN);
}

} // namespace
