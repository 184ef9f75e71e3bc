#include "common/TaskGroup.hpp"
#include "merge/NamedMergeOptions.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

using namespace tl;

namespace {

namespace fs = std::filesystem;

class NamedMergeOptionsTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> images;

    void SetUp() override {
        for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}) {
            images.push_back(folder.file(name));
            writeFile(images.back(), "");
        }
    }

    std::variant<NamedMergeCall, int> parse(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "tessaline");
        std::vector<const char*> argv;
        for (const auto& a : arguments) argv.push_back(a.c_str());
        return parseNamedMergeCall(static_cast<int>(argv.size()), argv.data(), out, err);
    }

    MergeSettings settings(const std::vector<std::string>& arguments) {
        const auto call = parse(arguments);
        EXPECT_TRUE(std::holds_alternative<NamedMergeCall>(call)) << err.str();
        return std::holds_alternative<NamedMergeCall>(call) ? std::get<NamedMergeCall>(call).settings : MergeSettings{};
    }
};

TEST_F(NamedMergeOptionsTest, DefaultsArePhotographersDefaults) {
    const auto call = parse({"-o", folder.file("out.hdr"), images[0], images[1], images[2], images[3], images[4]});
    ASSERT_TRUE(std::holds_alternative<NamedMergeCall>(call)) << err.str();
    const NamedMergeCall& c = std::get<NamedMergeCall>(call);
    EXPECT_FLOAT_EQ(c.settings.ghostThreshold, 10.f);
    EXPECT_FLOAT_EQ(c.settings.ghostingPower, 2.f);
    EXPECT_EQ(c.settings.threads, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    EXPECT_FALSE(c.settings.align);
    EXPECT_EQ(c.settings.tileSize, 9);
    EXPECT_EQ(c.settings.outputBits, 32);
    EXPECT_EQ(c.settings.instantPath, images[2]);
    EXPECT_EQ(c.settings.exposurePaths, images);
    EXPECT_EQ(c.settings.progressPath, "");
    EXPECT_EQ(c.settings.applicationFolder, "");
    EXPECT_EQ(c.logFolder, "");
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST_F(NamedMergeOptionsTest, InstantImageIsTheMiddleOneOrTheEarlierOfTwo) {
    EXPECT_EQ(settings({"-o", folder.file("o.hdr"), images[0]}).instantPath, images[0]);
    EXPECT_EQ(settings({"-o", folder.file("o.hdr"), images[0], images[1]}).instantPath, images[0]);
    EXPECT_EQ(settings({"-o", folder.file("o.hdr"), images[0], images[1], images[2], images[3]}).instantPath, images[1]);
}

// An instant image spelt differently from its place among the images is still that
// image, so that it is merged once.
TEST_F(NamedMergeOptionsTest, InstantImageIsMatchedAsAFileNotAsASpelling) {
    const std::string other = (folder.path() / "." / "c.jpg").string();
    const MergeSettings s = settings({"-o", folder.file("o.hdr"), "--instant", other, images[1], images[2]});
    EXPECT_EQ(s.instantPath, images[2]);
    const std::string outside = folder.file("x.jpg");
    writeFile(outside, "");
    EXPECT_EQ(settings({"-o", folder.file("o.hdr"), "--instant", outside, images[1]}).instantPath, outside);
}

TEST_F(NamedMergeOptionsTest, BitsFollowTheOutputsExtensionUnlessAskedFor) {
    for (const auto& [name, bits] : std::vector<std::pair<std::string, int>>{
             {"o.hdr", 32}, {"o.HDR", 32}, {"o.exr", 32}, {"o.pfm", 32}, {"o.tif", 8}, {"o.png", 8}, {"o.jpg", 8}})
        EXPECT_EQ(settings({"-o", folder.file(name), images[0]}).outputBits, bits) << name;
    EXPECT_EQ(settings({"-o", folder.file("o.tif"), "--bits", "32", images[0]}).outputBits, 32);
    EXPECT_EQ(settings({"-o", folder.file("o.hdr"), "--bits", "16", images[0]}).outputBits, 16);
}

TEST_F(NamedMergeOptionsTest, ValuesAreConverted) {
    const auto call = parse({"--threshold", "12.5", "--ghosting-power", "auto", "--threads", "3", "--tile", "4",
                             "--align", "--progress", folder.file("p.txt"), "--log-dir", folder.path().string(), "-o",
                             folder.file("o.png"), images[0]});
    ASSERT_TRUE(std::holds_alternative<NamedMergeCall>(call)) << err.str();
    const NamedMergeCall& c = std::get<NamedMergeCall>(call);
    EXPECT_FLOAT_EQ(c.settings.ghostThreshold, 12.5f);
    EXPECT_LT(c.settings.ghostingPower, 0.f);
    EXPECT_EQ(c.settings.threads, std::min(3, coreCount()));
    EXPECT_EQ(settings({"--threads", "100000", "-o", folder.file("o.png"), images[0]}).threads, coreCount());
    EXPECT_EQ(c.settings.tileSize, 4);
    EXPECT_TRUE(c.settings.align);
    EXPECT_EQ(c.settings.progressPath, folder.file("p.txt"));
    EXPECT_EQ(c.logFolder, folder.path().string());
    EXPECT_FLOAT_EQ(settings({"--ghosting-power", "25", "-o", folder.file("o.png"), images[0]}).ghostingPower, 25.f);
    // Beyond the float range the threshold is the largest float, not undefined.
    EXPECT_FLOAT_EQ(settings({"--threshold", "1e300", "-o", folder.file("o.png"), images[0]}).ghostThreshold, FLT_MAX);
    // Below the smallest normal double a value is 0, not a failure (it once aborted).
    const MergeSettings tiny =
        settings({"--threshold", "1e-320", "--ghosting-power", "2e-308", "-o", folder.file("o.png"), images[0]});
    EXPECT_EQ(tiny.ghostThreshold, 0.f);
    EXPECT_EQ(tiny.ghostingPower, 0.f);
}

TEST_F(NamedMergeOptionsTest, HelpAndVersionArePrintedOnStandardOutput) {
    EXPECT_EQ(std::get<int>(parse({"--help"})), 0);
    const std::string help = out.str();
    for (const char* option : {"--output", "--instant", "--threshold", "--ghosting-power", "--align", "--threads",
                               "--tile", "--bits", "--progress", "--log-dir", "Examples:", "is read by position",
                               "Exit status"})
        EXPECT_NE(help.find(option), std::string::npos) << option;
    out.str("");
    EXPECT_EQ(std::get<int>(parse({"--version"})), 0);
    EXPECT_TRUE(std::regex_match(out.str(), std::regex("tessaline [0-9]+\\.[0-9]+\\.[0-9]+\n"))) << out.str();
    EXPECT_EQ(err.str(), "");
}

TEST_F(NamedMergeOptionsTest, UsageErrorIsOneLineAndStatusTwo) {
    EXPECT_EQ(std::get<int>(parse({"-o", folder.file("o.hdr"), "--tile", "-3", images[0]})), 2);
    EXPECT_EQ(err.str(), "tessaline: --tile: '-3' is below 1 (see tessaline --help)\n");
    EXPECT_EQ(out.str(), "");
}

} // namespace
