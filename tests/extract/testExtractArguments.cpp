#include "extract/ExtractArguments.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <vector>

using namespace tl;

namespace {

std::variant<ExtractArguments, std::string> read(std::vector<const char*> positions) {
    positions.insert(positions.begin(), "kadrimo");
    return parseExtractArguments(static_cast<int>(positions.size()), positions.data());
}

std::optional<ExtractArguments> parse(const std::vector<const char*>& positions) {
    const auto call = read(positions);
    if (const auto* arguments = std::get_if<ExtractArguments>(&call)) return *arguments;
    return std::nullopt;
}

std::string problem(const std::vector<const char*>& positions) {
    const auto call = read(positions);
    const auto* text = std::get_if<std::string>(&call);
    return text ? *text : "";
}

TEST(ExtractArgumentsTest, NineOrTenPositionsAndTheTenthIsTheApplicationFolder) {
    std::vector<const char*> p{"0", "1", "2", "3", "v", "o", "b", "e", "l"};
    for (std::size_t n = 0; n < p.size(); ++n)
        EXPECT_EQ(problem({p.begin(), p.begin() + static_cast<long>(n)}),
                  "a call by position has 9 or 10 positions, this one has " + std::to_string(n) + " arguments");
    ASSERT_TRUE(parse(p));
    EXPECT_FALSE(parse(p)->applicationFolder);
    p.push_back("/opt/app");
    ASSERT_TRUE(parse(p));
    EXPECT_EQ(parse(p)->applicationFolder, "/opt/app");
    p.push_back("extra");
    EXPECT_NE(problem(p).find("this one has 11 arguments"), std::string::npos);
}

// The window's numbers are whole numbers as a whole; atoi would read "2.9" as 2 and a
// word as 0. Values beyond an int are held at its ends.
TEST(ExtractArgumentsTest, WindowNumbersMustBeWholeNumbers) {
    for (const char* text : {"2.9", "abc", "", "1e3", "-42abc", "0,5"}) {
        EXPECT_EQ(problem({"0", "1", text, "3", "v", "o", "b", "e", "l"}),
                  std::string("position 3 (END) must be a whole number, not '") + text + "'");
    }
    const auto a = parse({"0", "+17", "99999999999999", "-99999999999", "v", "o", "b", "e", "l"});
    ASSERT_TRUE(a);
    EXPECT_EQ(a->startNumerator, 17);
    EXPECT_EQ(a->endNumerator, INT_MAX);
    EXPECT_EQ(a->denominator, INT_MIN);
}

} // namespace
