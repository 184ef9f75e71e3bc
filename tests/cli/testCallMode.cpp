#include "cli/CallMode.hpp"
#include "extract/NamedExtractOptions.hpp"
#include "merge/NamedMergeOptions.hpp"
#include "tests/support/RunProgram.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

std::vector<const char*> argvOf(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"program"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    return argv;
}

bool namedMerge(const std::vector<std::string>& arguments) {
    const auto argv = argvOf(arguments);
    return isNamedMergeCall(static_cast<int>(argv.size()), argv.data());
}

bool namedExtract(const std::vector<std::string>& arguments) {
    const auto argv = argvOf(arguments);
    return isNamedExtractCall(static_cast<int>(argv.size()), argv.data());
}

TEST(CallModeTest, NumbersAsTheFrontEndWritesThem) {
    for (const char* number : {"10", "-1", "+3", "12.5", ".5", "-.5", "10,5", "0", "7px", "2024-06-01.jpg"})
        EXPECT_TRUE(beginsWithNumber(number)) << number;
    for (const char* other : {"", "-", ".", "-o", "--help", "abc", "inf", "nan", "./1.jpg", "-x5"})
        EXPECT_FALSE(beginsWithNumber(other)) << other;
}

TEST(CallModeTest, NamedOptionsAreAskedForByAPathOrByTheOutputOrHelp) {
    EXPECT_TRUE(namedMerge({"burst/a.jpg", "-o", "out.hdr"}));
    EXPECT_TRUE(namedMerge({"a.jpg"}));  // told that -o is missing, as a usage error
    EXPECT_TRUE(namedMerge({"--threshold", "5", "-o", "out.hdr", "a.jpg"}));
    EXPECT_TRUE(namedMerge({"--threshold", "5", "--output=out.hdr", "a.jpg"}));
    EXPECT_TRUE(namedMerge({"-oout.hdr", "a.jpg"}));
    EXPECT_TRUE(namedMerge({"--help"}));
    EXPECT_TRUE(namedMerge({"-h"}));
    EXPECT_TRUE(namedMerge({"--version"}));
    // A lone unknown option or nothing at all stays a call by position, as it always was.
    EXPECT_FALSE(namedMerge({}));
    EXPECT_FALSE(namedMerge({"--verbose"}));
    EXPECT_FALSE(namedMerge({"--threshold", "5", "a.jpg"}));
    EXPECT_FALSE(namedMerge({""}));
}

// Whatever the paths of a call by position hold, even words that look like options,
// the number it begins with keeps it a call by position.
TEST(CallModeTest, FrontEndMergeCallsAreNeverReadByName) {
    for (const std::string threshold : {"10", "0", "-1", "12.5", "1000", "10,5"}) {
        MergeCall c;
        c.ghostThreshold = threshold;
        c.progressPath = "-o";
        c.applicationFolder = "--help";
        c.outputPath = "--output=x.hdr";
        c.instantPath = "--version";
        c.exposures = {"-h", "a.jpg", "--version"};
        EXPECT_FALSE(namedMerge(c.arguments())) << threshold;
        EXPECT_FALSE(namedMerge({threshold})) << threshold;
    }
}

TEST(CallModeTest, FrontEndExtractCallsAreNeverReadByName) {
    const std::vector<std::string> call{"1", "0", "1000", "1000", "--help", "-o", "base", "jpg", "--version", "-h"};
    EXPECT_FALSE(namedExtract(call));
    // The unused first position may hold anything: the window's numbers still tell.
    for (const std::string first : {"kadrimo", "-o", "--help", ""}) {
        std::vector<std::string> c = call;
        c[0] = first;
        EXPECT_FALSE(namedExtract(c)) << first;
        EXPECT_FALSE(namedExtract({c.begin(), c.begin() + 9})) << first;
    }
    EXPECT_FALSE(namedExtract({"1"}));
    EXPECT_FALSE(namedExtract({}));
    EXPECT_TRUE(namedExtract({"clip.mp4", "-o", "frames"}));
    EXPECT_TRUE(namedExtract({"-o", "frames", "clip.mp4", "--from", "0.5"}));
    EXPECT_TRUE(namedExtract({"clip.mp4"}));
}

} // namespace
