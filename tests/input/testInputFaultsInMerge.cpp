// The merge program over inputs its decoders cannot hand over as they are: signed and
// integer samples, files cut short, Radiance headers with absurd sizes.
#include "input/FusionDepth.hpp"
#include "tests/input/ImageFiles.hpp"
#include "tests/support/LightFormula.hpp"
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <chrono>
#include <filesystem>

using namespace tl;

namespace {

class InputFaultsInMerge : public ::testing::Test {
protected:
    TempFolder folder;
    MergeCall call;
    void SetUp() override {
        std::filesystem::create_directory(folder.file("app"));
        call.applicationFolder = folder.file("app");
        call.progressPath = folder.file("progress.txt");
        call.outputPath = folder.file("merged.png");
        call.ghostThreshold = "1000"; // no ghosts: every exposure is added as decoded
    }
    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }
    std::string put(const std::string& name, const std::string& bytes) const {
        writeFile(folder.file(name), bytes);
        return folder.file(name);
    }
    bool reportedUnreadable(const std::string& path, const std::string& reason = "") const {
        return log().find("ERROR at function main => The image '" + path + "' does not exist or we can not open it" +
                          reason) != std::string::npos;
    }
};

// 16-bit output of the light formula, as the program truncates it.
cv::Mat expected16Bit(const cv::Mat& instant, const std::vector<cv::Mat>& exposures) {
    cv::Mat expected;
    straightforwardLight(instant, exposures).convertTo(expected, CV_16U, 65535.0);
    return expected;
}

double largestDifference(const cv::Mat& written, const cv::Mat& expected) {
    if (written.type() != expected.type() || written.size() != expected.size()) return 1e30;
    return cv::norm(written, expected, cv::NORM_INF);
}

cv::Mat signedScene(int depth, int shift) {
    cv::Mat scene(20, 24, CV_32SC1);
    for (int y = 0; y < scene.rows; ++y)
        for (int x = 0; x < scene.cols; ++x) scene.at<std::int32_t>(y, x) = (x * 900 + y * 500 + shift) - 4000;
    cv::Mat samples;
    scene.convertTo(samples, depth, depth == CV_32S ? 90000 : 1);
    return samples;
}

TEST_F(InputFaultsInMerge, SignedAndIntegerImagesJoinTheMergeWithoutNegativeLight) {
    for (const int depth : {CV_16S, CV_32S}) {
        const cv::Mat instant = signedScene(depth, 0), darker = signedScene(depth, -2000),
                      brighter = signedScene(depth, 3000);
        call.instantPath = put("instant.fits", fitsBytes(instant));
        call.exposures = {put("darker.fits", fitsBytes(darker)), call.instantPath,
                          put("brighter.fits", fitsBytes(brighter))};
        ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0) << log();
        const cv::Mat expected =
            expected16Bit(toFusionDepth(instant), {toFusionDepth(darker), toFusionDepth(brighter)});
        EXPECT_LE(largestDifference(cv::imread(call.outputPath, cv::IMREAD_UNCHANGED), expected), 1.0)
            << "depth " << depth << "\n" << log();
        EXPECT_EQ(log(), "");
    }
}

TEST_F(InputFaultsInMerge, ExposuresCutShortAreReportedAndLeftOut) {
    const cv::Mat instant = patternImage(20, 24, CV_8UC3) / 2, other = patternImage(20, 24, CV_8UC3) / 3;
    call.instantPath = put("instant.tga", tgaBytes(instant, false));
    const std::string tga = tgaBytes(other, false), pcx = pcxBytes(other);
    const std::string cutTga = put("cut.tga", tga.substr(0, 18 + (tga.size() - 18) * 19 / 40));
    const std::string cutPcx = put("cut.pcx", pcx.substr(0, 128 + (pcx.size() - 128) * 19 / 40));
    call.exposures = {put("other.pcx", pcx), cutTga, call.instantPath, cutPcx};
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0) << log();
    EXPECT_TRUE(reportedUnreadable(cutTga)) << log();
    EXPECT_TRUE(reportedUnreadable(cutPcx)) << log();
    EXPECT_LE(largestDifference(cv::imread(call.outputPath, cv::IMREAD_UNCHANGED), expected16Bit(instant, {other})),
              1.0);
}

TEST_F(InputFaultsInMerge, InstantRadianceImageOfNoSizeEndsTheRunUnwritten) {
    call.instantPath = put("empty.hdr", "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 0 +X 0\n");
    ASSERT_TRUE(cv::imwrite(folder.file("light.hdr"), cv::Mat(20, 24, CV_32FC3, cv::Scalar(0.5, 1, 2))));
    call.exposures = {folder.file("light.hdr"), call.instantPath};
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 1);
    EXPECT_FALSE(std::filesystem::exists(call.outputPath));
    EXPECT_TRUE(reportedUnreadable(call.instantPath)) << log();
    EXPECT_NE(log().find("ERROR at function Main => Error during accessing the image at index 1 (" +
                         call.instantPath + ")\n"),
              std::string::npos);
}

// Each of these once kept a decoder busy until its 30 s time limit.
TEST_F(InputFaultsInMerge, RadianceExposuresOfAbsurdSizeAreReportedAtOnce) {
    call.instantPath = folder.file("light.hdr");
    ASSERT_TRUE(cv::imwrite(call.instantPath, cv::Mat(20, 24, CV_32FC3, cv::Scalar(0.5, 1, 2))));
    call.exposures = {call.instantPath};
    for (const char* size : {"-Y -5 +X 0", "-Y 2147483647 +X 2147483647", "-Y 5 +X -2"})
        call.exposures.push_back(put("absurd" + std::to_string(call.exposures.size()) + ".hdr",
                                     std::string("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n") + size + "\n"));
    call.outputBits = "32";
    call.outputPath = folder.file("merged.hdr");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments(), "", folder.file("errors.txt")), 0) << log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(29)) << "no decoder ran to its time limit";
    for (std::size_t i = 1; i < call.exposures.size(); ++i)
        EXPECT_TRUE(reportedUnreadable(call.exposures[i])) << log();
    EXPECT_EQ(readFile(folder.file("errors.txt")).find("free()"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(call.outputPath));
}

// Headers OpenCV throws on (sizes beyond its limits) once aborted the merge; a cut PNG went
// on to DevIL, which looped on it until the 30 s limit; half a JPEG was merged as a whole
// image, its missing rows grey. Each is an unreadable exposure now, reported with why.
TEST_F(InputFaultsInMerge, FilesTheImageLibraryRefusesAreReportedWithTheReason) {
    const cv::Mat instant = patternImage(120, 160, CV_8UC3);
    call.instantPath = put("instant.png", encoded(instant, ".png"));
    cv::Mat deep(40, 60, CV_16UC3);
    cv::randu(deep, 0, 65536);
    const std::string jpg = encoded(patternImage(120, 160, CV_8UC3) / 2, ".jpg");
    const std::vector<std::pair<std::string, std::string>> refused = {
        {put("wide.ppm", "P6\n2000000 1\n255\n"), ": the image library cannot decode it"},
        {put("wide.pfm", "PF\n2000000 1\n-1.0\n"), ": the image library cannot decode it"},
        {put("cut.png", encoded(deep, ".png").substr(0, 88)), ": the image library cannot decode it"},
        {put("cut.jpg", jpg.substr(0, jpg.size() / 2)), ": it is cut short."}};
    call.exposures = {call.instantPath};
    for (const auto& [path, reason] : refused) call.exposures.push_back(path);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments(), "", folder.file("errors.txt")), 0) << log();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(29)) << "no decoder ran to its time limit";
    for (const auto& [path, reason] : refused) EXPECT_TRUE(reportedUnreadable(path, reason)) << path << "\n" << log();
    EXPECT_LE(largestDifference(cv::imread(call.outputPath, cv::IMREAD_UNCHANGED), expected16Bit(instant, {})), 1.0);
}

} // namespace
