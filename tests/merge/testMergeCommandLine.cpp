#include "common/TaskGroup.hpp"
#include "merge/MergeCommandLine.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>
#include <climits>
#include <tuple>
#include <filesystem>

using namespace tl;

namespace {

std::variant<MergeSettings, std::string> read(const std::vector<std::string>& arguments) {
    std::vector<const char*> argv{"tessaline"};
    for (const auto& a : arguments) argv.push_back(a.c_str());
    return parseMergeArguments(static_cast<int>(argv.size()), argv.data());
}

std::optional<MergeSettings> parse(const std::vector<std::string>& arguments) {
    const auto call = read(arguments);
    if (const auto* settings = std::get_if<MergeSettings>(&call)) return *settings;
    return std::nullopt;
}

// Why the call cannot be read by position; empty when it can.
std::string problem(const std::vector<std::string>& arguments) {
    const auto call = read(arguments);
    const auto* text = std::get_if<std::string>(&call);
    return text ? *text : "";
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
    EXPECT_EQ(s->threads, std::min(4, coreCount()));
    EXPECT_TRUE(s->align);
    EXPECT_EQ(s->tileSize, 10);
    EXPECT_EQ(s->progressPath, "/tmp/progress");
    EXPECT_EQ(s->applicationFolder, "/tmp/app");
    EXPECT_EQ(s->outputPath, "/tmp/out.hdr");
    EXPECT_EQ(s->outputBits, 32);
    EXPECT_EQ(s->instantPath, "b.jpg");
    EXPECT_EQ(s->exposurePaths, (std::vector<std::string>{"a.jpg", "b.jpg", "c.jpg"}));
}

// Below 2 a thread count becomes 1; above the number of cores, that number: more threads
// buy nothing, and a hundred thousand of them exhausted the memory.
TEST(MergeArguments, ThreadCountIsOneAtLeastAndTheCoresAtMost) {
    for (const auto& [given, expected] : std::vector<std::pair<std::string, int>>{
             {"0", 1}, {"-3", 1}, {"1", 1}, {"4", std::min(4, coreCount())}, {"100000", coreCount()},
             {"99999999999", coreCount()}}) {
        MergeCall c = call();
        c.threads = given;
        EXPECT_EQ(parse(c.arguments())->threads, expected) << given;
    }
}

TEST(MergeArguments, AlignmentOnlyForTheValueOne) {
    for (const auto& [given, expected] : std::vector<std::pair<std::string, bool>>{
             {"1", true}, {"2", false}, {"0", false}, {"-1", false}, {"+1", true}}) {
        MergeCall c = call();
        c.align = given;
        EXPECT_EQ(parse(c.arguments())->align, expected) << given;
    }
}

// A number by position is one as a whole: atoi and atof would read a prefix ("8.jpg" as
// 8, "0,5" as 0) and a photograph's name could become the progress file or the output.
TEST(MergeArguments, NumbersMustBeNumbersAsAWhole) {
    const std::vector<std::pair<int, std::string>> cases{
        {1, "abc"}, {1, "0,5"}, {2, "2.5%"}, {3, "x"}, {3, "2.0"}, {4, ""}, {5, "yes"},
        {6, "8.jpg"}, {7, " 7px"}, {11, "16bits"}, {13, "3.0"}};
    for (const auto& [position, text] : cases) {
        MergeCall c = call();
        std::vector<std::string> a = c.arguments();
        a[static_cast<std::size_t>(position - 1)] = text;
        const std::string why = problem(a);
        EXPECT_NE(why.find("position " + std::to_string(position) + " "), std::string::npos) << why;
        EXPECT_NE(why.find("'" + text + "'"), std::string::npos) << why;
    }
    MergeCall c = call();
    c.ghostThreshold = "1e-320";  // too small for a float: 0, not a failure
    c.ghostingPower = "-.5";
    ASSERT_TRUE(parse(c.arguments())) << problem(c.arguments());
    EXPECT_EQ(parse(c.arguments())->ghostThreshold, 0.f);
    EXPECT_FLOAT_EQ(parse(c.arguments())->ghostingPower, -0.5f);
}

TEST(MergeArguments, ShortVectorsAndNegativeCountsAreRefused) {
    std::vector<std::string> a = call().arguments();
    EXPECT_NE(problem({a.begin(), a.begin() + 10}).find("13 positions"), std::string::npos);
    EXPECT_NE(problem({a.begin(), a.begin() + 12}).find("13 positions"), std::string::npos);  // no count
    EXPECT_EQ(problem({a.begin(), a.end() - 1}), "position 13 (N) says 3 images follow, but 2 do");
    std::vector<std::string> more = a;
    more.push_back("d.jpg");  // a path beyond the count is no longer ignored
    EXPECT_EQ(problem(more), "position 13 (N) says 3 images follow, but 4 do");
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
    const std::string err = folder.file("stderr.txt");
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, a, "", err), 1);
    EXPECT_FALSE(std::filesystem::exists(log()));
    EXPECT_EQ(readFile(err), "tessaline: a call by position has 13 positions followed by N images, this one has 10 "
                             "arguments (see tessaline --help)\n");
}

// A call by position that cannot be read says why, on standard error and in its log, and
// writes nothing else: not the progress file, not the output.
TEST_F(MergeProgram, UnreadableCallSaysWhyOnStandardErrorAndInTheLog) {
    MergeCall c = validCall();
    for (auto [field, text, why] : std::vector<std::tuple<std::string*, std::string, std::string>>{
             {&c.ghostThreshold, "0,5", "position 1 (GHOST_THRESHOLD) must be a number, not '0,5'"},
             {&c.align, "yes", "position 5 (ALIGN) must be a whole number, not 'yes'"}}) {
        const std::string kept = *field;
        *field = text;
        const std::string err = folder.file("stderr.txt");
        EXPECT_EQ(runProgram(TL_TESSALINE_BIN, c.arguments(), "", err), 1);
        EXPECT_EQ(readFile(err), "tessaline: " + why + " (see tessaline --help)\n");
        EXPECT_NE(readFile(log()).find("ERROR at function main => The call cannot be read by position: " + why +
                                       ". Nothing was written."),
                  std::string::npos)
            << readFile(log());
        *field = kept;
    }
    std::vector<std::string> a = c.arguments();
    a[12] = "2";
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, a), 1);
    EXPECT_NE(readFile(log()).find("position 13 (N) says 2 images follow, but 0 do"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(c.progressPath));
    EXPECT_FALSE(std::filesystem::exists(c.outputPath));
}

TEST_F(MergeProgram, NegativeCountEndsWithStatusOne) {
    std::vector<std::string> a = validCall().arguments();
    a[12] = "-2";
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, a), 1);
    EXPECT_NE(readFile(log()).find("position 13 (N) says -2 images follow, but 0 do"), std::string::npos);
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
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, {"--verbose"}), 2);
}

} // namespace
