// Inputs that used to give a wrong image, run through the real merge program.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>
#include <filesystem>
#include <limits>

using namespace tl;

namespace {

// An uncompressed grey TGA, top row first: a format OpenCV does not read, so the program
// loads it through DevIL as a one-channel image.
std::string greyTga(const cv::Mat& grey) {
    std::string bytes(18, '\0');
    bytes[2] = 3;  // uncompressed, grey
    bytes[12] = static_cast<char>(grey.cols & 0xff);
    bytes[13] = static_cast<char>(grey.cols >> 8);
    bytes[14] = static_cast<char>(grey.rows & 0xff);
    bytes[15] = static_cast<char>(grey.rows >> 8);
    bytes[16] = 8;
    bytes[17] = 0x20;  // top left origin
    for (int y = 0; y < grey.rows; ++y) bytes.append(grey.ptr<char>(y), static_cast<std::size_t>(grey.cols));
    return bytes;
}

class MergeFaults : public ::testing::Test {
protected:
    TempFolder folder;
    MergeCall call;

    void SetUp() override {
        call.applicationFolder = folder.path().string();
        call.progressPath = folder.file("progress.txt");
        call.ghostThreshold = "10";
        call.outputBits = "32";
    }
    std::string log() const { return readFile(folder.file("TessalineLog.txt")); }
    int merge() const { return runProgram(TL_TESSALINE_BIN, call.arguments(), "", folder.file("stderr.txt")); }
    std::size_t count(const std::string& text) const {
        std::size_t found = 0;
        for (std::size_t at = log().find(text); at != std::string::npos; at = log().find(text, at + 1)) ++found;
        return found;
    }
};

// Grey images with the automatic ghosting power: every exposure is merged, none dropped
// for a failed estimate.
TEST_F(MergeFaults, GreyImagesTakeTheAutomaticGhostingPower) {
    const BurstScene scene({200, 150}, 3);
    for (int i = 0; i < 3; ++i) {
        cv::Mat grey;
        cv::cvtColor(scene.frame(i), grey, cv::COLOR_BGR2GRAY);
        call.exposures.push_back(folder.file("frame" + std::to_string(i) + ".tga"));
        writeFile(call.exposures.back(), greyTga(grey));
    }
    call.instantPath = call.exposures[1];
    call.ghostingPower = "-1";
    call.outputPath = folder.file("merged.pfm");
    ASSERT_EQ(merge(), 0) << log();
    EXPECT_EQ(log().find("Computing ghosting power"), std::string::npos) << log();
    // The instant image alone would be normalised without the power 2.2: a merged exposure
    // shows in a light image that differs from that.
    const cv::Mat light = cv::imread(call.outputPath, cv::IMREAD_UNCHANGED);
    ASSERT_FALSE(light.empty());
    cv::Mat instant;
    cv::cvtColor(scene.frame(1), instant, cv::COLOR_BGR2GRAY);
    instant.convertTo(instant, CV_32F);
    double largest = 0;
    cv::minMaxLoc(instant, nullptr, &largest);
    cv::pow(instant / largest, 1 / 2.2, instant);
    ASSERT_EQ(light.type(), CV_32FC1);
    EXPECT_GT(cv::norm(light, instant, cv::NORM_INF), 0.01);
}

// Infinite, NaN and negative samples count as 0: the light image stays finite, within 0 to
// 1 and bright where the scene is, and each such image is reported once.
TEST_F(MergeFaults, NonFiniteAndNegativeFloatSamplesCountAsZero) {
    const BurstScene scene({160, 120}, 3);
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 3; ++i) {
        cv::Mat floats;
        scene.frame(i).convertTo(floats, CV_32F, 1.0 / 255.0);
        frames.push_back(floats);
    }
    frames[1](cv::Rect(40, 40, 10, 10)).setTo(cv::Scalar::all(std::numeric_limits<float>::infinity()));
    frames[1].at<cv::Vec3f>(3, 3)[0] = std::numeric_limits<float>::quiet_NaN();
    frames[0].setTo(cv::Scalar::all(std::numeric_limits<float>::quiet_NaN()));
    frames[2](cv::Rect(0, 0, 20, 20)).setTo(cv::Scalar::all(-0.5));
    for (int i = 0; i < 3; ++i) {
        call.exposures.push_back(folder.file("frame" + std::to_string(i) + ".pfm"));
        ASSERT_TRUE(cv::imwrite(call.exposures.back(), frames[i]));
    }
    call.instantPath = call.exposures[1];
    for (const char* output : {"merged.pfm", "merged.exr", "merged.tif", "merged.hdr"}) {
        std::filesystem::remove(folder.file("TessalineLog.txt"));
        call.outputPath = folder.file(output);
        ASSERT_EQ(merge(), 0) << output << "\n" << log();
        const cv::Mat light = cv::imread(call.outputPath, cv::IMREAD_UNCHANGED | cv::IMREAD_ANYDEPTH);
        ASSERT_FALSE(light.empty()) << output;
        EXPECT_TRUE(cv::checkRange(light, true, nullptr, 0.0, 1.0 + 1e-6)) << output;
        EXPECT_GT(cv::mean(light)[1], 0.2) << output;
        EXPECT_EQ(count("The image number 1 (" + call.exposures[1] +
                        ") holds 301 samples that are not finite or are negative; they count as 0."),
                  1u)
            << output << "\n" << log();
        EXPECT_EQ(count("The image number 0 (" + call.exposures[0] + ") holds 57600 samples"), 1u) << output;
        EXPECT_EQ(count("The image number 2 (" + call.exposures[2] + ") holds 1200 samples"), 1u) << output;
    }
}

// One finite sample of 3e38, as only a corrupt file holds, was the largest sum and darkened
// everything else to black: samples above 1e30 count as 0 like infinite ones. Bright real
// radiance (a million times the scale) is light like any other.
TEST_F(MergeFaults, SamplesBeyondAnyLightCountAsZeroButBrightLightStays) {
    const BurstScene scene({160, 120}, 3);
    for (const float brightness : {1.0f, 1e6f}) {
        call.exposures.clear();
        for (int i = 0; i < 3; ++i) {
            cv::Mat floats;
            scene.frame(i).convertTo(floats, CV_32F, brightness / 255.0);
            if (i == 0) floats.at<cv::Vec3f>(5, 5)[1] = 3e38f;
            call.exposures.push_back(folder.file("bright" + std::to_string(i) + ".pfm"));
            ASSERT_TRUE(cv::imwrite(call.exposures.back(), floats));
        }
        call.instantPath = call.exposures[1];
        call.outputPath = folder.file("merged.pfm");
        std::filesystem::remove(folder.file("TessalineLog.txt"));
        ASSERT_EQ(merge(), 0) << log();
        const cv::Mat light = cv::imread(call.outputPath, cv::IMREAD_UNCHANGED | cv::IMREAD_ANYDEPTH);
        ASSERT_FALSE(light.empty());
        EXPECT_GT(cv::mean(light)[1], 0.2) << brightness;
        EXPECT_EQ(count("The image number 0 (" + call.exposures[0] + ") holds 1 samples"), 1u)
            << brightness << "\n" << log();
        EXPECT_EQ(count("holds"), 1u) << brightness << "\n" << log();
    }
}

// A flat burst has nothing to align by: the report says so, rather than blaming a lack of
// memory, and the run writes nothing.
TEST_F(MergeFaults, AlignmentOfAFlatBurstGivesItsTrueReason) {
    for (int i = 0; i < 3; ++i) {
        call.exposures.push_back(folder.file("flat" + std::to_string(i) + ".png"));
        ASSERT_TRUE(cv::imwrite(call.exposures.back(), cv::Mat(60, 80, CV_8UC3, cv::Scalar::all(100 + i))));
    }
    call.instantPath = call.exposures[1];
    call.align = "1";
    call.outputPath = folder.file("merged.png");
    EXPECT_EQ(merge(), 1);
    EXPECT_FALSE(std::filesystem::exists(call.outputPath));
    EXPECT_EQ(count("ERROR at function Aligning images => The align option failed: The exposure and the instant image "
                    "do not correlate: there is nothing to align them by."),
              1u)
        << log();
    EXPECT_EQ(log().find("lack of memory"), std::string::npos) << log();
}

// A burst of the generated scene as PNG files; the middle frame is the instant image.
std::vector<std::string> pngBurst(const TempFolder& folder, const std::string& name, int frames, bool still) {
    const BurstScene scene({160, 120}, frames);
    std::vector<std::string> paths;
    for (int i = 0; i < frames; ++i) {
        paths.push_back(folder.file(name + std::to_string(i) + ".png"));
        cv::imwrite(paths.back(), scene.frame(still ? frames / 2 : i));
    }
    return paths;
}

// A tile size near the int range on several threads: one tile, no overflow, an image.
TEST_F(MergeFaults, TileSizeNearTheIntRangeMergesOnSeveralThreads) {
    call.exposures = pngBurst(folder, "frame", 3, false);
    call.instantPath = call.exposures[1];
    call.outputPath = folder.file("merged.hdr");
    for (const char* tile : {"2147483639", "2147483647"})
        for (const char* threads : {"2", "3"}) {
            call.tileSize = tile;
            call.threads = threads;
            EXPECT_EQ(merge(), 0) << tile << " " << threads << "\n" << log();
            EXPECT_TRUE(std::filesystem::exists(call.outputPath));
            std::filesystem::remove(call.outputPath);
        }
}

// An exposure without ghosts is handed on whole, but the progress file reads what the band
// workers write for an exposure of that size that has ghosts to refill.
TEST_F(MergeFaults, ProgressOfAnExposureWithoutGhostsIsThatOfTheBandWorkers) {
    call.threads = "1";
    call.outputPath = folder.file("merged.hdr");
    call.exposures = pngBurst(folder, "moving", 3, false);
    call.instantPath = call.exposures[1];
    ASSERT_EQ(merge(), 0) << log();
    const std::string withGhosts = readFile(call.progressPath);
    call.exposures = pngBurst(folder, "still", 3, true);
    call.instantPath = call.exposures[1];
    ASSERT_EQ(merge(), 0) << log();
    EXPECT_EQ(readFile(call.progressPath), withGhosts);
    EXPECT_NE(withGhosts, "2 0");
}

} // namespace
