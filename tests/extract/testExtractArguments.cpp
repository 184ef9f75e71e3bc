#include "extract/ExtractArguments.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

namespace {

std::optional<ExtractArguments> parse(std::vector<const char*> positions) {
    positions.insert(positions.begin(), "kadrimo");
    return parseExtractArguments(static_cast<int>(positions.size()), positions.data());
}

TEST(ExtractArgumentsTest, PositionsAreReadInOrder) {
    const auto a = parse({"7", "250", "500", "1000", "in.avi", "out/", "base", "jpg", "list.txt"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->startNumerator, 250);
    EXPECT_EQ(a->endNumerator, 500);
    EXPECT_EQ(a->denominator, 1000);
    EXPECT_EQ(a->videoPath, "in.avi");
    EXPECT_EQ(a->outputFolder, "out/");
    EXPECT_EQ(a->baseName, "base");
    EXPECT_EQ(a->extension, "jpg");
    EXPECT_EQ(a->listPath, "list.txt");
    EXPECT_FALSE(a->applicationFolder);
    const auto withApp =
        parse({"0", "1", "2", "3", "v", "o", "b", "e", "l", "/opt/app", "ignored"});
    ASSERT_TRUE(withApp);
    EXPECT_EQ(withApp->applicationFolder, "/opt/app");
}

TEST(ExtractArgumentsTest, FewerThanNinePositionsAreRefused) {
    std::vector<const char*> p{"0", "1", "2", "3", "v", "o", "b", "e", "l"};
    for (std::size_t n = 0; n < p.size(); ++n)
        EXPECT_FALSE(parse({p.begin(), p.begin() + static_cast<long>(n)})) << n << " positions";
    EXPECT_TRUE(parse(p));
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
