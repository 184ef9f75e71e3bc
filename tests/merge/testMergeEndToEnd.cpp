#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tools/BurstFiles.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cmath>
#include <filesystem>

using namespace tl;

namespace {

cv::Mat decode(const std::string& path) {
    return cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
}

// trunc(65535 * float(((I + sum of E^2.2) / M) ^ (1/2.2))), computed here from the decoded
// photographs, independently of the program.
cv::Mat expected16Bit(const cv::Mat& instant, const std::vector<cv::Mat>& exposures) {
    cv::Mat sum;
    instant.convertTo(sum, CV_64F);
    const int total = static_cast<int>(sum.total() * sum.channels());
    for (const cv::Mat& exposure : exposures)
        for (int i = 0; i < total; ++i) sum.ptr<double>()[i] += std::pow(double(exposure.data[i]), 2.2);
    double largest = 0;
    cv::minMaxLoc(sum.reshape(1), nullptr, &largest);
    cv::Mat expected(sum.size(), CV_16UC3);
    for (int i = 0; i < total; ++i) {
        const float light = static_cast<float>(std::pow(sum.ptr<double>()[i] / largest, 1 / 2.2));
        expected.ptr<std::uint16_t>()[i] = static_cast<std::uint16_t>(std::trunc(65535.0 * light));
    }
    return expected;
}

class MergeEndToEnd : public ::testing::Test {
protected:
    TempFolder folder;
    MergeCall call;
    void SetUp() override {
        std::filesystem::create_directory(folder.file("app"));
        call.applicationFolder = folder.file("app");
        call.progressPath = folder.file("progress.txt");
        call.threads = "2";
    }
    std::string log() const { return readFile(folder.file("app/TessalineLog.txt")); }
};

// A ghost threshold of 1000 % lets no pixel count as a ghost, so every exposure reaches
// the light image as it was decoded.
TEST_F(MergeEndToEnd, PhotographsWithoutGhostsFollowTheLightFormula) {
    for (const char* name : {"img03.jpg", "img05.jpg", "img07.jpg"})
        TL_REQUIRE_TEST_DATA(std::string("bracket-desk/") + name);
    call.ghostThreshold = "1000";
    call.outputBits = "16";
    call.outputPath = folder.file("merged.png");
    call.instantPath = testDataPath("bracket-desk/img05.jpg");
    call.exposures = {testDataPath("bracket-desk/img03.jpg"), call.instantPath,
                      testDataPath("bracket-desk/img07.jpg")};
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0) << log();

    const cv::Mat written = cv::imread(call.outputPath, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(written.type(), CV_16UC3) << log();
    const cv::Mat expected =
        expected16Bit(decode(call.instantPath), {decode(call.exposures[0]), decode(call.exposures[2])});
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_LE(cv::norm(written, expected, cv::NORM_INF), 1.0);
    EXPECT_EQ(log(), "");
}

TEST_F(MergeEndToEnd, UnreadableInstantImageEndsWithStatusOneAndWritesNothing) {
    writeFile(folder.file("broken.jpg"), "not a picture");
    cv::imwrite(folder.file("exposure.png"), cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(90)));
    call.outputPath = folder.file("merged.png");
    call.instantPath = folder.file("broken.jpg");
    call.exposures = {folder.file("exposure.png"), call.instantPath};
    EXPECT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 1);
    EXPECT_FALSE(std::filesystem::exists(call.outputPath));
    EXPECT_NE(log().find("\nERROR at function Main => Error during accessing the image at index 1 (" +
                         call.instantPath + ")\n\n\n"),
              std::string::npos)
        << log();
}

// The demo's road: a generated burst with a rolling ball merged into a Radiance file.
TEST_F(MergeEndToEnd, GeneratedBurstMergesIntoARadianceFile) {
    const auto frames = writeBurst(folder.path().string(), {240, 160}, 3, true);
    ASSERT_EQ(frames.size(), 3u);
    const std::string tags = folder.file("tags.txt");
    ASSERT_EQ(runProgram("/usr/bin/exiftool", {"-s3", "-ExposureTime", "-ISO", frames[0]}, tags), 0);
    EXPECT_EQ(readFile(tags), "1/125\n1600\n");
    call.ghostThreshold = "10";
    call.outputBits = "32";
    call.outputPath = folder.file("merged.hdr");
    call.instantPath = frames[1];
    call.exposures = frames;
    ASSERT_EQ(runProgram(TL_TESSALINE_BIN, call.arguments()), 0) << log();
    const cv::Mat light = cv::imread(call.outputPath, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR);
    ASSERT_EQ(light.type(), CV_32FC3);
    ASSERT_EQ(light.size(), cv::Size(240, 160));
    double largest = 0;
    cv::minMaxLoc(light.reshape(1), nullptr, &largest);
    EXPECT_NEAR(largest, 1.0, 0.01);  // RGBE keeps about 1 % precision
}

} // namespace
