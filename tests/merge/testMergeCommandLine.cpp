#include "merge/MergeCommandLine.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <filesystem>

namespace {

std::optional<MergeSettings> parse(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"tessaline"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    return parseMergeArguments(static_cast<int>(argv.size()), argv.data());
}

MergeCall call() {
    MergeCall c;
    c.progressPath = "/tmp/progress";
    c.applicationFolder = "/tmp/app";
    c.outputPath = "/tmp/out.hdr";
    c.instantPath = "b.jpg";
    c.exposures = {"a.jpg", "b.jpg", "c.jpg"};
    return c;
}

TEST(MergeArguments, PositionsAreReadInOrder) {
    MergeCall c = call();
    c.ghostThreshold = "12.5";
    c.ghostingPower = "-3";
    c.threads = "4";
    c.align = "1";
    c.tileSize = "10";
    c.outputBits = "32";
    const auto s = parse(c.arguments());
    ASSERT_TRUE(s);
    EXPECT_FLOAT_EQ(s->ghostThreshold, 12.5f);
    EXPECT_FLOAT_EQ(s->ghostingPower, -3.f);
    EXPECT_EQ(s->threads, 4);
    EXPECT_TRUE(s->align);
    EXPECT_EQ(s->tileSize, 10);
    EXPECT_EQ(s->progressPath, "/tmp/progress");
    EXPECT_EQ(s->applicationFolder, "/tmp/app");
    EXPECT_EQ(s->outputPath, "/tmp/out.hdr");
    EXPECT_EQ(s->outputBits, 32);
    EXPECT_EQ(s->instantPath, "b.jpg");
    EXPECT_EQ(s->exposurePaths, (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
}

TEST(MergeArguments, ThreadCountBelowTwoBecomesOne) {
    for (const auto& [given, expected] :
         std::vector<std::pair<std::string, int>>{{"0", 1}, {"-3", 1}, {"1", 1}, {"4", 4}, {"x", 1}}) {
        MergeCall c = call();
        c.threads = given;
        EXPECT_EQ(parse(c.arguments())->threads, expected) << given;
    }
}

TEST(MergeArguments, AlignmentOnlyForTheValueOne) {
    for (const auto& [given, expected] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"2", false}, {"0", false}, {"yes", false}, {"-1", false}, {"", false}}) {
        MergeCall c = call();
        c.align = given;
        EXPECT_EQ(parse(c.arguments())->align, expected) << given;
    }
}

TEST(MergeArguments, NumbersAreReadAsAtoiAndAtofReadThem) {
    MergeCall c = call();
    c.ghostThreshold = "abc";
    c.ghostingPower = "2.5%";
    c.tileSize = " 7px";
    c.outputBits = "16bits";
    const auto s = parse(c.arguments());
    EXPECT_FLOAT_EQ(s->ghostThreshold, 0.f);
    EXPECT_FLOAT_EQ(s->ghostingPower, 2.5f);
    EXPECT_EQ(s->tileSize, 7);
    EXPECT_EQ(s->outputBits, 16);
}

TEST(MergeArguments, ShortVectorsAndNegativeCountsAreRefused) {
    std::vector<std::string> a = call().arguments();
    EXPECT_FALSE(parse({a.begin(), a.begin() + 10}));
    EXPECT_FALSE(parse({a.begin(), a.begin() + 12}));  // the count itself is missing
    EXPECT_FALSE(parse({a.begin(), a.end() - 1}));      // one exposure path short
    a[12] = "-1";
    EXPECT_FALSE(parse({a.begin(), a.begin() + 13}));
    a[12] = "0";
    EXPECT_TRUE(parse({a.begin(), a.begin() + 13}));
}

TEST(ImageListTest, InstantImageFoundAmongTheExposures) {
    MergeSettings s = *parse(call().arguments());
    const ImageList list = buildImageList(s);
    EXPECT_EQ(list.paths.size(), 3u);
    EXPECT_EQ(list.instantIndex, 1);
}

TEST(ImageListTest, InstantImageNotFoundIsAppended) {
    MergeSettings s = *parse(call().arguments());
    s.instantPath = "B.jpg";  // differs only in letter case
    const ImageList list = buildImageList(s);
    ASSERT_EQ(list.paths.size(), 4u);
    EXPECT_EQ(list.instantIndex, 3);
    EXPECT_EQ(list.paths[3], "B.jpg");
}

TEST(ImageListTest, NoExposuresGivesTheInstantImageAlone) {
    MergeSettings s = *parse(call().arguments());
    s.exposurePaths.clear();
    const ImageList list = buildImageList(s);
    EXPECT_EQ(list.paths, std::vector<std::string>{"b.jpg"});
    EXPECT_EQ(list.instantIndex, 0);
}

TEST(ImageListTest, RepeatedPathTakesTheFirstOccurrence) {
    MergeSettings s = *parse(call().arguments());
    s.exposurePaths = {"a.jpg", "b.jpg", "b.jpg"};
    EXPECT_EQ(buildImageList(s).instantIndex, 1);
    EXPECT_EQ(buildImageList(s).paths.size(), 3u);
}

// The program itself, started as the front end starts it.
class MergeProgram : public ::testing::Test {
protected:
    TempFolder folder;
    std::string app() const { return folder.file("app"); }
    std::string log() const { return folder.file("app/TessalineLog.txt"); }
    void SetUp() override { std::filesystem::create_directory(app()); }
    MergeCall validCall() const {
        MergeCall c;
        c.progressPath = folder.file("progress.txt");
        c.applicationFolder = app();
        c.outputPath = folder.file("out.png");
        c.instantPath = folder.file("instant.png");
        cv::imwrite(c.instantPath, cv::Mat(20, 30, CV_8UC3, cv::Scalar(10, 20, 30)));
        return c;
    }
};

TEST_F(MergeProgram, TenArgumentsEndWithStatusOneAndNoLog) {
    std::vector<std::string> a = validCall().arguments();
    a.resize(10);
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, a), 1);
    EXPECT_FALSE(std::filesystem::exists(log()));
}

TEST_F(MergeProgram, NegativeCountEndsWithStatusOne) {
    std::vector<std::string> a = validCall().arguments();
    a[12] = "-2";
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, a), 1);
    EXPECT_FALSE(std::filesystem::exists(log()));
}

TEST_F(MergeProgram, ValidCallCreatesTheLogInTheApplicationFolder) {
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, validCall().arguments()), 0);
    EXPECT_TRUE(std::filesystem::exists(log()));
}

TEST_F(MergeProgram, ExistingLogIsAppendedTo) {
    writeFile(log(), "kept\n");
    MergeCall c = validCall();
    c.instantPath = folder.file("missing.jpg");
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, c.arguments()), 1);
    const std::string text = readFile(log());
    EXPECT_EQ(text.rfind("kept\n", 0), 0u);
    EXPECT_NE(text.find("\nERROR at function main => The image '" + c.instantPath +
                        "' does not exist or we can not open it.\n\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nERROR at function Main => Error during accessing the image at index 0 (" + c.instantPath +
                        ")\n\n\n"),
              std::string::npos)
        << text;
}

TEST_F(MergeProgram, StandardOutputGoesIntoTheLog) {
    const std::string out = folder.file("stdout.txt");
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, validCall().arguments(), out), 0);
    EXPECT_EQ(readFile(out), "");
}

TEST_F(MergeProgram, HelpAndVersionPrintAndSucceed) {
    const std::string out = folder.file("stdout.txt");
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, {"--help"}, out), 0);
    EXPECT_NE(readFile(out).find("usage: tessaline"), std::string::npos);
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, {"--version"}, out), 0);
    EXPECT_EQ(readFile(out).rfind("tessaline ", 0), 0u);
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, {"--verbose"}), 1);
}

} // namespace
