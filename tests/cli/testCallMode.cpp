#include "cli/CallMode.hpp"
#include "cli/NumberText.hpp"
#include "extract/ExtractArguments.hpp"
#include "merge/MergeCommandLine.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cfloat>
#include <vector>

using namespace tl;

namespace {

std::vector<const char*> argvOf(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"program"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    return argv;
}

bool positionalMerge(const std::vector<std::string>& arguments) {
    const auto argv = argvOf(arguments);
    return isPositionalMergeCall(static_cast<int>(argv.size()), argv.data());
}

bool positionalExtract(const std::vector<std::string>& arguments) {
    const auto argv = argvOf(arguments);
    return isPositionalExtractCall(static_cast<int>(argv.size()), argv.data());
}

TEST(NumberTextTest, OnlyWholeTextsAreNumbers) {
    for (const auto& [text, value] : std::vector<std::pair<std::string, double>>{
             {"10", 10}, {"-1", -1}, {"+3", 3}, {"12.5", 12.5}, {".5", 0.5}, {"5.", 5}, {"1e3", 1000}, {"-2E-2", -0.02}})
        EXPECT_EQ(decimalNumber(text), value) << text;
    for (const char* other : {"", "-", ".", "0,5", "12.5%", "7px", "8.jpg", " 1", "1 ", "inf", "nan", "0x10", "1e",
                              "1e400", "--1", "1..2"})
        EXPECT_FALSE(decimalNumber(other)) << other;
    // Numbers too small for a normal double are numbers (near 0), not failures.
    for (const char* tiny : {"1e-320", "2e-308", "1e-400"}) {
        ASSERT_TRUE(decimalNumber(tiny)) << tiny;
        EXPECT_LT(*decimalNumber(tiny), 1e-300) << tiny;
        EXPECT_EQ(clampedToFloat(*decimalNumber(tiny)), 0.0f) << tiny;
    }
    EXPECT_EQ(clampedToFloat(1e300), FLT_MAX);
    EXPECT_EQ(wholeNumber("42"), 42);
    EXPECT_EQ(wholeNumber("+17"), 17);
    EXPECT_EQ(wholeNumber("-3"), -3);
    for (const char* other : {"", "+", "2.9", "4.0", " 4", "-42abc", "++1", "99999999999999999999999"})
        EXPECT_FALSE(wholeNumber(other)) << other;
    EXPECT_EQ(clampedToInt(99999999999LL), INT_MAX);
    EXPECT_EQ(clampedToInt(-99999999999LL), INT_MIN);
}

// Photographs and videos whose names begin with digits, as phones and cameras name them,
// are files: a call naming them is read by name.
TEST(CallModeTest, FilesNamedLikeNumbersAreReadByName) {
    TempFolder folder;
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
    for (const char* name : {"1.jpg", "20240401_185439.JPG", "2024-clip.mp4", "8", "10"}) writeFile(name, "x");
    EXPECT_FALSE(positionalMerge({"1.jpg", "20240401_185439.JPG", "-o", "out.jpg"}));
    EXPECT_FALSE(positionalMerge({"20240401_185439.JPG", "1.jpg"}));  // told that -o is missing
    EXPECT_FALSE(positionalMerge({"8", "10", "-o", "out.hdr"}));
    EXPECT_FALSE(positionalMerge({"8", "10"}));
    EXPECT_FALSE(positionalExtract({"2024-clip.mp4", "-o", "frames"}));
    EXPECT_FALSE(positionalExtract({"2024-clip.mp4"}));
    EXPECT_TRUE(positionalMerge({"7", "10"}));  // no such file: a call by position that lacks positions
    ASSERT_EQ(chdir("/"), 0);
}

// Naming the output makes a call one by name, whatever numbers it begins with: a folder of
// files named 1.jpg .. 25.jpg once had its photographs overwritten by a call read by position.
TEST(CallModeTest, CallsNamingTheOutputAreReadByName) {
    MergeCall c;
    c.progressPath = "p.txt";
    c.applicationFolder = "app";
    c.outputPath = "out.hdr";
    c.instantPath = "a.jpg";
    c.exposures = {"a.jpg"};
    EXPECT_TRUE(positionalMerge(c.arguments()));
    for (const char* option : {"-o", "--output", "--output=x.hdr"}) {
        std::vector<std::string> named = c.arguments();
        named.push_back(option);
        EXPECT_FALSE(positionalMerge(named)) << option;
        EXPECT_FALSE(positionalExtract({"1", "0", "1000", "1000", "v.mp4", option, "b", "jpg", "l.txt"})) << option;
    }
    // Paths that merely begin like an option stay paths of a call by position.
    c.outputPath = "-old.hdr";
    c.exposures = {"--help", "-h", "--version"};
    EXPECT_TRUE(positionalMerge(c.arguments()));
}

TEST(CallModeTest, TheFrontEndsCallsAreReadByPosition) {
    for (const std::string threshold : {"10", "0", "-1", "12.5", "1000", "0,5", "7px"}) {
        EXPECT_TRUE(positionalMerge({threshold})) << threshold;
        EXPECT_TRUE(positionalMerge({threshold, "2", "1"})) << threshold;
    }
    EXPECT_FALSE(positionalMerge({}));
    EXPECT_FALSE(positionalMerge({"--verbose"}));
    EXPECT_FALSE(positionalMerge({""}));
    const std::vector<std::string> extract{"1", "0", "1000", "1000", "--help", "frames", "base", "jpg", "--version"};
    EXPECT_TRUE(positionalExtract(extract));
    // The unused first position may hold anything: the window's numbers tell.
    for (const std::string first : {"kadrimo", "--help", ""}) {
        std::vector<std::string> c = extract;
        c[0] = first;
        EXPECT_TRUE(positionalExtract(c)) << first;
        EXPECT_TRUE(positionalExtract({c.begin(), c.begin() + 4})) << first;
    }
    EXPECT_TRUE(positionalExtract({"1"}));
    EXPECT_FALSE(positionalExtract({}));
    EXPECT_FALSE(positionalExtract({"clip.mp4", "0", "1", "x"}));
    EXPECT_FALSE(positionalExtract({"clip.mp4"}));
}

} // namespace
