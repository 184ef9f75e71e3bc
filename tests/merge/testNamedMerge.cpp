#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tools/BurstFiles.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <fcntl.h>
#include <pty.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <regex>
#include <thread>

using namespace tl;

namespace {

namespace fs = std::filesystem;

// A PNG of size whose header reads well but whose picture data is damaged half way, so
// that no decoder can read it.
void writeDamagedPng(const std::string& path, cv::Size size) {
    std::vector<unsigned char> png;
    cv::Mat noise(size, CV_8UC3);
    cv::randu(noise, 0, 255);
    ASSERT_TRUE(cv::imencode(".png", noise, png));
    for (std::size_t i = png.size() / 2; i < png.size() / 2 + 64; ++i) png[i] ^= 0x5A;
    writeFile(path, std::string(png.begin(), png.end()));
}

// The merge program called by name, as a person or a script calls it, next to the same
// merge called by position.
class NamedMerge : public ::testing::Test {
protected:
    TempFolder folder;
    std::vector<std::string> burst;

    void SetUp() override {
        fs::create_directories(folder.path() / "burst");
        fs::create_directories(folder.path() / "app");
    }
    void makeBurst() { burst = writeBurst(folder.file("burst"), {240, 160}, 3, true); }

    // Runs tessaline; out and err receive the standard streams.
    int run(const std::vector<std::string>& arguments) {
        return runProgram(TL_TESSALINE_BIN, arguments, folder.file("out.txt"), folder.file("err.txt"));
    }
    std::string out() const { return readFile(folder.file("out.txt")); }
    std::string err() const { return readFile(folder.file("err.txt")); }
    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }

    MergeCall positional(const std::string& output, const std::string& bits) const {
        MergeCall c;
        c.ghostThreshold = "10";
        c.ghostingPower = "2";
        c.threads = std::to_string(std::max(1u, std::thread::hardware_concurrency()));
        c.progressPath = folder.file("progress.txt");
        c.applicationFolder = folder.file("app");
        c.outputPath = output;
        c.outputBits = bits;
        c.instantPath = burst[1];
        c.exposures = burst;
        return c;
    }
};

TEST_F(NamedMerge, PatchMethodDefaultsMergeAsTheFrontEndsCallWithTheSameValues) {
    makeBurst();
    ASSERT_EQ(burst.size(), 3u);
    ASSERT_EQ(run({"-o", folder.file("named.hdr"), "--method", "patch", burst[0], burst[1], burst[2]}), 0) << err();
    EXPECT_EQ(out(), "");
    EXPECT_EQ(err(), "");
    ASSERT_EQ(run(positional(folder.file("positional.hdr"), "32").arguments()), 0) << log();
    const std::string named = readFile(folder.file("named.hdr"));
    ASSERT_FALSE(named.empty());
    EXPECT_TRUE(named == readFile(folder.file("positional.hdr")));
}

TEST_F(NamedMerge, EveryOptionReachesTheMergeAsItsPositionWould) {
    makeBurst();
    ASSERT_EQ(burst.size(), 3u);
    MergeCall c = positional(folder.file("positional.png"), "16");
    c.ghostThreshold = "7.5";
    c.ghostingPower = "-1";
    c.threads = "2";
    c.align = "1";
    c.tileSize = "5";
    c.instantPath = burst[2];
    ASSERT_EQ(run(c.arguments()), 0) << log();
    ASSERT_EQ(run({"--threshold", "7.5", "--ghosting-power", "auto", "--threads", "2", "--align", "--tile", "5",
                   "--bits", "16", "--instant", burst[2], "--progress", folder.file("named-progress.txt"),
                   "-o", folder.file("named.png"), burst[0], burst[1], burst[2]}),
              0)
        << err();
    const std::string named = readFile(folder.file("named.png"));
    ASSERT_FALSE(named.empty());
    EXPECT_TRUE(named == readFile(folder.file("positional.png")));
    EXPECT_TRUE(fs::exists(folder.file("named-progress.txt")));
}

// Photographs without ghosts (threshold 1000 %), named and by position, byte for byte.
TEST_F(NamedMerge, RealPhotographsMergeTheSameByNameAndByPosition) {
    for (const char* name : {"img03.jpg", "img05.jpg", "img07.jpg"})
        TL_REQUIRE_TEST_DATA(std::string("bracket-desk/") + name);
    burst = {testDataPath("bracket-desk/img03.jpg"), testDataPath("bracket-desk/img05.jpg"),
             testDataPath("bracket-desk/img07.jpg")};
    MergeCall c = positional(folder.file("positional.tif"), "16");
    c.ghostThreshold = "1000";
    ASSERT_EQ(run(c.arguments()), 0) << log();
    ASSERT_EQ(run({"-o", folder.file("named.tif"), "--bits", "16", "--threshold", "1000", burst[0], burst[1], burst[2]}),
              0)
        << err();
    EXPECT_EQ(err(), "");  // a threshold that covers the brackets' gaps draws no warning
    const std::string named = readFile(folder.file("named.tif"));
    ASSERT_FALSE(named.empty());
    EXPECT_TRUE(named == readFile(folder.file("positional.tif")));
}

// Each bad value ends the call with status 2 and one line on standard error, before
// anything is written: no merged image, no log, no progress file.
TEST_F(NamedMerge, BadOptionsEndWithStatusTwoAndWriteNothing) {
    const std::string image = folder.file("burst/a.png");
    writeFile(image, "");  // its content is never read
    const std::string output = folder.file("merged.hdr");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"--bogus", image}, "unknown option '--bogus'"},
        {{"--treshold", "20", image}, "unknown option '--treshold' (did you mean --threshold?)"},
        {{"--threshold", "1e-320", "--ghosting-power", "2e-308", "--bogus", image}, "unknown option '--bogus'"},
        {{folder.file("missing.jpg")}, "no such file: '" + folder.file("missing.jpg") + "'"},
        {{"--instant", folder.file("missing.jpg"), image}, "--instant: no such file"},
        {{"--threshold", "abc", image}, "--threshold: 'abc' is not a number"},
        {{"--threshold", "-1", image}, "--threshold: '-1' is below 0"},
        {{"--tile", "0", image}, "--tile: '0' is below 1"},
        {{"--tile", "2.5", image}, "--tile: '2.5' is not a whole number"},
        {{"--threads", "0", image}, "--threads: '0' is below 1"},
        {{"--bits", "12", image}, "--bits: '12' is not 8, 16 or 32"},
        {{"--ghosting-power", "far", image}, "--ghosting-power: 'far' is neither"},
        {{"--threshold", image}, "--threshold"},
        {{"--progress", folder.file("nowhere/p.txt"), image}, "--progress: no such folder"},
        {{"--log-dir", folder.file("nowhere"), image}, "--log-dir: no such folder"},
    };
    for (const auto& [options, message] : cases) {
        std::vector<std::string> arguments{"-o", output, "--progress", folder.file("progress.txt")};
        if (options[0] != "--log-dir") arguments.insert(arguments.end(), {"--log-dir", folder.file("app")});
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_TRUE(std::regex_match(err(), std::regex("tessaline: [^\n]+\n"))) << err();
        EXPECT_NE(err().find(message), std::string::npos) << err();
        EXPECT_EQ(out(), "");
        EXPECT_FALSE(fs::exists(output)) << message;
        EXPECT_FALSE(fs::exists(folder.file("app/TessalineLog.txt"))) << message;
        EXPECT_FALSE(fs::exists(folder.file("progress.txt"))) << message;
    }
    for (const auto& [arguments, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{image}, "--output is required"},
             {{"-o", folder.file("nowhere/merged.hdr"), image}, "--output: no such folder"},
             {{"-o", folder.file("merged.xyz"), image}, "--output: no image writer takes the extension"},
             {{"-o", folder.file("merged.gif"), image}, ".bmp .dds .dib .exr .hdr .jp2 "},
             {{"-o", folder.file("merged.gif"), image}, ".pfm .pgm .pic .png .pnm .ppm "},
             {{"-o", folder.file("merged.gif"), image}, ".tif .tiff .webp do)"},
             {{"-o", folder.file("merged.png"), "--bits", "32", image},
              "--bits: '" + folder.file("merged.png") + "' cannot hold 32 bits per channel, only 8 or 16 ("},
             {{"-o", folder.file("merged.webp"), "--bits", "32", image}, "cannot hold 32 bits per channel"},
             {{"-o", folder.file("merged.ppm"), "--bits", "32", image}, "cannot hold 32 bits per channel"},
             {{"-o", folder.file("merged.jp2"), "--bits", "32", image}, "cannot hold 32 bits per channel"},
             {{"-o", output}, "IMAGE is required"},
             {{}, "--output is required"},
             {{"--out", output, image}, "unknown option '--out' (did you mean --output?)"}}) {
        EXPECT_EQ(run(arguments), 2) << message;
        EXPECT_TRUE(std::regex_match(err(), std::regex("tessaline: [^\n]+\n"))) << err();
        EXPECT_NE(err().find(message), std::string::npos) << err();
    }
}

// Images that cannot be merged are found before the merge, from their headers: one that
// cannot be read, one of another size. Each is a usage error naming the file (and both
// sizes), and nothing is written.
TEST_F(NamedMerge, ImagesAreCheckedBeforeTheMerge) {
    makeBurst();
    const std::string junk = folder.file("burst/junk.jpg");
    writeFile(junk, "not a picture");
    const std::string small = folder.file("burst/small.png");
    ASSERT_TRUE(cv::imwrite(small, cv::Mat(80, 120, CV_8UC3, cv::Scalar(1, 2, 3))));
    const std::string merged = folder.file("merged.hdr");
    EXPECT_EQ(run({"-o", merged, "--log-dir", folder.file("app"), burst[0], junk, burst[1]}), 2);
    EXPECT_EQ(err(), "tessaline: IMAGE: '" + junk + "' cannot be read as an image (see tessaline --help)\n");
    EXPECT_EQ(run({"-o", merged, burst[0], burst[1], small, burst[2]}), 2);
    EXPECT_EQ(err(), "tessaline: IMAGE: '" + small + "' is 120x80, but the instant image '" + burst[1] +
                         "' is 240x160 (see tessaline --help)\n");
    EXPECT_EQ(run({"-o", merged, "--instant", small, burst[0], burst[1]}), 2);
    EXPECT_NE(err().find("but the instant image '" + small + "' is 120x80"), std::string::npos) << err();
    EXPECT_FALSE(fs::exists(merged));
    EXPECT_FALSE(fs::exists(folder.file("app/TessalineLog.txt")));
}

// A file whose header reads well but whose picture cannot be decoded (a PNG whose data
// is damaged) fails in the merge: reported on standard error and in the log when asked for.
TEST_F(NamedMerge, ReportsGoToStandardErrorAndToTheLogWhenAskedFor) {
    const std::string broken = folder.file("burst/broken.png");
    writeDamagedPng(broken, {64, 64});
    EXPECT_EQ(run({"-o", folder.file("merged.hdr"), broken}), 1);
    EXPECT_NE(err().find("tessaline: error: Error during accessing the image '" + broken + "'"), std::string::npos)
        << err();
    EXPECT_FALSE(fs::exists(folder.file("merged.hdr")));
    EXPECT_FALSE(fs::exists(folder.file("burst/TessalineLog.txt")));

    EXPECT_EQ(run({"-o", folder.file("merged.hdr"), "--log-dir", folder.file("app"), broken}), 1);
    EXPECT_NE(log().find("\nERROR at function Main => Error during accessing the image '" + broken + "'"),
              std::string::npos)
        << log();
    EXPECT_NE(err().find("tessaline: error: "), std::string::npos);
}

// At a terminal the progress line counts every image, the instant image too, and a report
// made while it is drawn stands on a line of its own instead of being glued to it.
TEST_F(NamedMerge, ProgressCountsEveryImageAndReportsStandOnTheirOwnLines) {
    std::vector<std::string> images = writeBurst(folder.file("burst"), {240, 160}, 4, false);
    ASSERT_EQ(images.size(), 4u);
    const std::string broken = folder.file("burst/broken.png");
    writeDamagedPng(broken, {240, 160});
    // The patch merge leaves an unreadable exposure out and goes on; it visits this one first,
    // after the instant image, so that its report falls in the middle of the progress.
    images.insert(images.begin() + 3, broken);

    int master = -1, terminal = -1;
    winsize size{};
    size.ws_col = 100;
    size.ws_row = 20;
    ASSERT_EQ(openpty(&master, &terminal, nullptr, nullptr, &size), 0);
    std::vector<std::string> arguments{"-o", folder.file("merged.jpg"), "--method", "patch"};
    arguments.insert(arguments.end(), images.begin(), images.end());
    runProgram(TL_TESSALINE_BIN, arguments, "", ttyname(terminal));
    close(terminal);
    fcntl(master, F_SETFL, O_NONBLOCK);
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, static_cast<std::size_t>(n));
    close(master);
    EXPECT_NE(shown.find("exposure 1/5"), std::string::npos) << shown;
    EXPECT_NE(shown.find("exposure 5/5"), std::string::npos) << shown;
    EXPECT_EQ(shown.find("/4 "), std::string::npos) << shown;
    const std::size_t report = shown.find("tessaline: error:");
    ASSERT_NE(report, std::string::npos) << shown;
    EXPECT_EQ(shown.substr(report - 2, 2), "\r\n") << shown;
}

// How many different values the samples of a 16-bit image take.
std::size_t distinctValues(const cv::Mat& image) {
    std::vector<bool> seen(65536);
    std::size_t count = 0;
    for (auto value = image.begin<std::uint16_t>(); value != image.end<std::uint16_t>(); ++value)
        if (!seen[*value]) {
            seen[*value] = true;
            ++count;
        }
    return count;
}

// A call by name reads 16-bit and float files at their own depth, its own 32-bit TIFF
// included; a call by position keeps reading 8 bits, and says why a float TIFF is beyond it.
TEST_F(NamedMerge, NamedCallsReadDeepImagesAtTheirOwnDepth) {
    makeBurst();
    const std::string deep = folder.file("deep.tif");
    ASSERT_EQ(run({"-o", deep, "--bits", "32", burst[0], burst[1], burst[2]}), 0) << err();
    ASSERT_EQ(run({"-o", folder.file("again.tif"), "--bits", "32", deep, deep}), 0) << err();
    EXPECT_EQ(cv::imread(folder.file("again.tif"), cv::IMREAD_UNCHANGED).type(), CV_32FC3);

    MergeCall byPosition = positional(folder.file("positional.tif"), "32");
    byPosition.instantPath = deep;
    byPosition.exposures = {deep};
    EXPECT_EQ(run(byPosition.arguments()), 1);
    EXPECT_NE(log().find("The image '" + deep + "' does not exist or we can not open it: its samples cannot be read "
                         "at 8 bits per channel"),
              std::string::npos)
        << log();

    // 4096 levels, which 8-bit reading would fold into at most 256.
    cv::Mat ramp(64, 64, CV_16UC3);
    for (int y = 0; y < ramp.rows; ++y)
        for (int x = 0; x < ramp.cols; ++x) ramp.at<cv::Vec3w>(y, x) = cv::Vec3w::all(static_cast<std::uint16_t>((y * 64 + x) * 16));
    const std::string rampPath = folder.file("ramp.png");
    ASSERT_TRUE(cv::imwrite(rampPath, ramp));
    ASSERT_EQ(run({"-o", folder.file("named16.png"), "--bits", "16", rampPath}), 0) << err();
    EXPECT_GT(distinctValues(cv::imread(folder.file("named16.png"), cv::IMREAD_UNCHANGED)), 2000u);
    byPosition = positional(folder.file("positional16.png"), "16");
    byPosition.instantPath = rampPath;
    byPosition.exposures = {rampPath};
    ASSERT_EQ(run(byPosition.arguments()), 0) << log();
    EXPECT_LE(distinctValues(cv::imread(folder.file("positional16.png"), cv::IMREAD_UNCHANGED)), 256u);
}

// The bracket's frames are 4 s, 1 s and 0.3 s at f/2.8 and ISO 50: two stops apart.
TEST_F(NamedMerge, BracketDrawsOneExposureWarningNamingTheFramesAndAThreshold) {
    for (const char* name : {"img03.jpg", "img05.jpg", "img07.jpg"})
        TL_REQUIRE_TEST_DATA(std::string("bracket-desk/") + name);
    burst = {testDataPath("bracket-desk/img03.jpg"), testDataPath("bracket-desk/img05.jpg"),
             testDataPath("bracket-desk/img07.jpg")};
    ASSERT_EQ(run({"-o", folder.file("desk.jpg"), "--threshold", "40", burst[0], burst[1], burst[2]}), 0) << err();
    EXPECT_EQ(err(), "tessaline: warning: " + burst[0] + " (+2.0 EV) and " + burst[2] +
                         " (-1.7 EV) are exposed differently from the instant image " + burst[1] +
                         ". The ghost test compares pixel values, so the difference in brightness passes for "
                         "movement and is patched over. Merge a burst of equal exposures, or raise --threshold "
                         "to 50 or more.\n");
    // By position the same warning is one entry of the log, and nothing is said elsewhere.
    MergeCall c = positional(folder.file("positional.jpg"), "8");
    c.ghostThreshold = "40";
    ASSERT_EQ(run(c.arguments()), 0);
    EXPECT_EQ(err(), "");
    const std::string text = log();
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3) << text;  // timestamp, entry, blank line
    EXPECT_NE(text.find("\nWARNING at function checkExposures => " + burst[0] + " (+2.0 EV) and "), std::string::npos)
        << text;
    EXPECT_NE(text.find("or raise the ghost threshold to 50 or more.\n\n"), std::string::npos) << text;
}

TEST_F(NamedMerge, BurstOfEqualExposuresDrawsNoWarning) {
    makeBurst();
    ASSERT_EQ(burst.size(), 3u);
    ASSERT_EQ(run({"-o", folder.file("merged.jpg"), "--method", "patch", "--log-dir", folder.file("app"), burst[0],
                   burst[1], burst[2]}),
              0);
    EXPECT_EQ(err(), "");
    EXPECT_EQ(log(), "");
}

// Exposure times no burst has (0, two hours, a millionth of a microsecond) are broken
// tags: the check ignores them and, the frames being equally bright, says nothing, where
// it once warned of gaps of hundreds of stops.
TEST_F(NamedMerge, AbsurdExposureTimesAreIgnoredByTheExposureCheck) {
    makeBurst();
    ASSERT_EQ(burst.size(), 3u);
    ASSERT_TRUE(runExiftool({"-q", "-overwrite_original", "-ExposureTime=0", burst[0]}));
    ASSERT_TRUE(runExiftool({"-q", "-overwrite_original", "-ExposureTime=7200", burst[2]}));
    ASSERT_EQ(run({"-o", folder.file("merged.jpg"), burst[0], burst[1], burst[2]}), 0) << err();
    EXPECT_EQ(err(), "");
    ASSERT_TRUE(runExiftool({"-q", "-overwrite_original", "-ExposureTime=1e-12", burst[2]}));
    ASSERT_EQ(run({"-o", folder.file("merged.jpg"), burst[0], burst[1], burst[2]}), 0) << err();
    EXPECT_EQ(err(), "");
}

} // namespace
