// Golden digests of merged files. Each case writes a small burst at 8 bits (PNG), 16 bits
// (DNG mosaics developed by LibRaw) or 32 bits (PFM floats), merges it with the real program
// at a fixed and at the automatic search radius on 1 and 3 threads, and compares the
// Radiance file's bytes with the digest the merge has always produced. A restructured or
// faster engine must write the same files; a digest changes only with a deliberate change of
// what the merge decides, named in the commit that changes it.
#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"
#include "tools/BurstScene.hpp"
#include "tools/DngFile.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>

using namespace tl;

namespace {

// FNV-1a, 64 bits: enough to tell two files apart, and short to keep in the table.
std::string digestOf(const std::string& bytes) {
    std::uint64_t hash = 0xcbf29ce484222325ull;
    for (unsigned char byte : bytes) hash = (hash ^ byte) * 0x100000001b3ull;
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
    return text;
}

// An RGGB mosaic of a B, G, R picture, each 8-bit level spread over 16 bits.
cv::Mat mosaicOf(const cv::Mat& picture) {
    cv::Mat mosaic(picture.size(), CV_16UC1);
    for (int y = 0; y < picture.rows; ++y)
        for (int x = 0; x < picture.cols; ++x) {
            const int channel = (y % 2 == 0 && x % 2 == 0) ? 2 : (y % 2 == 1 && x % 2 == 1) ? 0 : 1;
            mosaic.at<std::uint16_t>(y, x) = static_cast<std::uint16_t>(picture.at<cv::Vec3b>(y, x)[channel] * 257);
        }
    return mosaic;
}

// Writes picture as frame NUMBER in the depth's file format and returns the path.
std::string writeFrame(const TempFolder& folder, const cv::Mat& picture, int number, int bits) {
    const std::string stem = folder.file("frame" + std::to_string(number));
    if (bits == 8) {
        cv::imwrite(stem + ".png", picture);
        return stem + ".png";
    }
    if (bits == 16) {
        writeFile(stem + ".dng", dngBytes(mosaicOf(picture), 1));
        return stem + ".dng";
    }
    cv::Mat floats;
    picture.convertTo(floats, CV_32F, 1.0 / 255.0);
    cv::imwrite(stem + ".pfm", floats);
    return stem + ".pfm";
}

struct Burst {
    std::string name;
    std::vector<cv::Mat> pictures;  // 8-bit B, G, R; the middle one is the instant image
};

Burst generatedBurst() {
    const BurstScene scene({160, 120}, 5);
    Burst burst{"generated", {}};
    for (int i = 0; i < 5; ++i) burst.pictures.push_back(scene.frame(i));
    return burst;
}

// Three shutter times of the shared desk photographs: they differ in brightness almost
// everywhere, so nearly every pixel is refilled.
Burst deskBracket() {
    Burst burst{"desk", {}};
    for (const char* name : {"bracket-desk/img05.jpg", "bracket-desk/img07.jpg", "bracket-desk/img09.jpg"}) {
        const cv::Mat photo = cv::imread(testDataPath(name), cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
        burst.pictures.push_back(photo(cv::Rect(420, 300, 128, 96)).clone());
    }
    return burst;
}

// The digest of the Radiance file that the merge writes.
std::string mergedDigest(const Burst& burst, int bits, const std::string& ghostingPower, int threads) {
    TempFolder folder;
    MergeCall call;
    for (std::size_t i = 0; i < burst.pictures.size(); ++i)
        call.exposures.push_back(writeFrame(folder, burst.pictures[i], static_cast<int>(i) + 1, bits));
    call.ghostThreshold = "10";
    call.ghostingPower = ghostingPower;
    call.threads = std::to_string(threads);
    call.progressPath = folder.file("progress.txt");
    call.applicationFolder = folder.path().string();
    call.outputPath = folder.file("merged.hdr");
    call.outputBits = "32";
    call.instantPath = call.exposures[call.exposures.size() / 2];
    if (runProgram(TL_TESSALINE_BIN, call.arguments()) != 0) return "exit status";
    return digestOf(readFile(call.outputPath));
}

// Per burst, depth and search radius (25 % of the larger side, or automatic): the digest.
const std::map<std::string, std::string> goldenDigests = {
    {"generated 8 25", "0e3bc822eb22469b"},
    {"generated 8 -1", "d90414e86bbf8834"},
    {"generated 16 25", "cf60e01c6d48add2"},
    {"generated 16 -1", "e28f948aed837f8b"},
    {"generated 32 25", "ba362a49a97017ac"},
    {"generated 32 -1", "e3f28e156f9de1c8"},
    {"desk 8 25", "9efeff6e5aa91a48"},
    {"desk 8 -1", "cb389d106d3a7f71"},
    {"desk 16 25", "8d94b43165bb5eea"},
    {"desk 16 -1", "be18c34f25f24154"},
    {"desk 32 25", "8da4706c4df5f368"},
    {"desk 32 -1", "e4f2ece38c724280"},
};

void expectGoldenDigests(const Burst& burst) {
    for (int bits : {8, 16, 32})
        for (const char* power : {"25", "-1"})
            for (int threads : {1, 3}) {
                const std::string key = burst.name + " " + std::to_string(bits) + " " + power;
                EXPECT_EQ(mergedDigest(burst, bits, power, threads), goldenDigests.at(key))
                    << key << ", " << threads << " threads";
            }
}

TEST(MergedFilesUnchanged, GeneratedBurstAtEveryDepth) { expectGoldenDigests(generatedBurst()); }

TEST(MergedFilesUnchanged, SharedPhotographsAtEveryDepth) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img09.jpg");
    expectGoldenDigests(deskBracket());
}

} // namespace
