#include "input/ImageLoader.hpp"
#include "input/RawImageDecoder.hpp"
#include "tests/input/CapturedStream.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tools/DngFile.hpp"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <sstream>

using namespace tl;

namespace {

// LibRaw's own command-line tools, when the machine has them, tell what the library
// makes of a file independently of our code.
const std::string rawIdentify = "/usr/bin/raw-identify";
const std::string dcrawEmulator = "/usr/bin/dcraw_emu";

// The developed size that raw-identify -s reports ("path\tmake\tmodel\twidth\theight").
cv::Size identifiedSize(const std::string& path, const TempFolder& folder) {
    const std::string report = folder.file("identify.txt");
    if (runProgram(rawIdentify, {"-s", path}, report) != 0) return {};
    std::istringstream fields(readFile(report).substr(path.size()));
    std::string skipped, make, model;
    int width = 0, height = 0;
    std::getline(fields, skipped, '\t');
    std::getline(fields, make, '\t');
    std::getline(fields, model, '\t');
    fields >> width >> height;
    return {width, height};
}

TEST(RawImageDecoderTest, RealRawFilesDevelopTo16BitBgrOfTheReportedSize) {
    TL_REQUIRE_TEST_DATA("raw/RAW_NIKON_D1.NEF");
    TempFolder folder;
    const struct {
        const char* file;
        cv::Size size;
    } cases[] = {{"raw/RAW_NIKON_D1.NEF", {2012, 1324}}, {"raw/RAW_KODAK_DC50.KDC", {768, 512}}};
    for (const auto& c : cases) {
        const std::string path = testDataPath(c.file);
        const cv::Mat image = loadImage(path).image;
        ASSERT_EQ(image.type(), CV_16UC3) << c.file;
        EXPECT_EQ(image.size(), c.size) << c.file;
        if (std::filesystem::exists(rawIdentify)) {
            EXPECT_EQ(image.size(), identifiedSize(path, folder)) << c.file;
        }
        double brightest = 0;
        cv::minMaxLoc(image.reshape(1), nullptr, &brightest);
        EXPECT_GT(brightest, 60000) << "automatic brightening stretches to full white";
    }
}

// dcraw_emu -w -T -6 is LibRaw's rendering of "dcraw -w -T -6": same settings, same
// pixels, only the channel order differs (its TIFF is R, G, B; OpenCV reads it as B, G, R).
TEST(RawImageDecoderTest, PixelsEqualTheReferenceDevelopment) {
    TL_REQUIRE_TEST_DATA("raw/RAW_KODAK_DC50.KDC");
    if (!std::filesystem::exists(dcrawEmulator)) GTEST_SKIP() << dcrawEmulator << " is absent";
    TempFolder folder;
    const std::string reference = folder.file("reference.tiff");
    const std::string path = testDataPath("raw/RAW_KODAK_DC50.KDC");
    ASSERT_EQ(runProgram(dcrawEmulator, {"-w", "-T", "-6", "-Z", reference, path}, folder.file("out")), 0);
    const cv::Mat expected = cv::imread(reference, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(expected.type(), CV_16UC3);
    const cv::Mat developed = decodeRawImage(path).image;
    ASSERT_EQ(developed.size(), expected.size());
    EXPECT_EQ(cv::norm(developed, expected, cv::NORM_INF), 0);
}

// The camera's orientation is applied: a picture taken upright comes back upright,
// width and height exchanged with respect to the sensor.
TEST(RawImageDecoderTest, OrientationIsAppliedToThePixels) {
    TempFolder folder;
    const cv::Mat mosaic = bayerScene({64, 48});
    cv::Mat developed[9];
    for (const int orientation : {1, 6, 8}) {
        const std::string path = folder.file("o" + std::to_string(orientation) + ".dng");
        writeFile(path, dngBytes(mosaic, orientation));
        developed[orientation] = loadImage(path).image;
        ASSERT_EQ(developed[orientation].type(), CV_16UC3) << orientation;
    }
    EXPECT_EQ(developed[1].size(), cv::Size(64, 48));
    cv::Mat turned;
    cv::rotate(developed[1], turned, cv::ROTATE_90_CLOCKWISE);
    EXPECT_EQ(cv::norm(developed[6], turned, cv::NORM_INF), 0);
    cv::rotate(developed[1], turned, cv::ROTATE_90_COUNTERCLOCKWISE);
    EXPECT_EQ(cv::norm(developed[8], turned, cv::NORM_INF), 0);
}

// A monochrome sensor develops to one colour, which has no B, G, R order to give.
TEST(RawImageDecoderTest, PictureOfOtherThanThreeColoursComesBackEmpty) {
    TempFolder folder;
    const std::string path = folder.file("grey.dng");
    writeFile(path, dngBytes(bayerScene({32, 32}), 1, true));
    const LoadedImage loaded = loadImage(path);
    EXPECT_TRUE(loaded.image.empty());
    EXPECT_EQ(loaded.problem, "the raw decoder cannot develop it");
}

// The reasons travel with the result, for the merge's report: the decoder itself writes
// nothing on either stream.
TEST(RawImageDecoderTest, UndecodableFilesExplainThemselves) {
    TempFolder folder;
    const std::string text = folder.file("notes.nef");
    writeFile(text, "not a raw file\n");
    const std::string missing = folder.file("missing.cr2");
    const std::string directory = folder.file("folder.dng");
    std::filesystem::create_directory(directory);

    CapturedStream output(STDOUT_FILENO);
    CapturedStream errors(STDERR_FILENO);
    for (const auto& [path, problem] :
         std::vector<std::pair<std::string, std::string>>{{text, "the raw decoder cannot develop it"},
                                                          {missing, "it cannot be opened: No such file or directory"},
                                                          {directory, "the raw decoder cannot develop it"}}) {
        const LoadedImage decoded = decodeRawImage(path);
        EXPECT_TRUE(decoded.image.empty()) << path;
        EXPECT_EQ(decoded.problem, problem) << path;
    }
    EXPECT_EQ(errors.text(), "");
    EXPECT_EQ(output.text(), "");
}

} // namespace
