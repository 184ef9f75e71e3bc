#include "align/MatchPatch.hpp"
#include "fusion/CompensationBands.hpp"
#include "fusion/ExposureCompensation.hpp"
#include "merge/MergeEngine.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>

#include <opencv2/imgcodecs.hpp>

using namespace tl;

namespace {

// A scene whose background repeats every 16 pixels, with a 20 x 20 textured object whose
// top-left corner is at `object`. Moving the object by a multiple of 16 leaves every
// patch of the scene findable somewhere in the other frame.
cv::Mat periodicScene(int rows, int cols, cv::Point object) {
    cv::Mat tile(16, 16, CV_8UC3), objectTexture(20, 20, CV_8UC3);
    cv::RNG rng(7);
    rng.fill(tile, cv::RNG::UNIFORM, 0, 200);
    rng.fill(objectTexture, cv::RNG::UNIFORM, 150, 256);
    cv::Mat scene;
    cv::repeat(tile, rows / 16 + 1, cols / 16 + 1, scene);
    scene = scene(cv::Rect(0, 0, cols, rows)).clone();
    objectTexture.copyTo(scene(cv::Rect(object, cv::Size(20, 20))));
    return scene;
}

// The same picture at 16 bits (x 257) or as float (/ 255).
cv::Mat atDepth(const cv::Mat& image, int bits) {
    cv::Mat converted;
    if (bits == 8) return image;
    if (bits == 16) image.convertTo(converted, CV_16U, 257.0);
    else image.convertTo(converted, CV_32F, 1.0 / 255.0);
    return converted;
}

struct Compensation {
    TempFolder folder;
    std::string progressPath = folder.file("progress.txt");
    MergeEngine engine;
    float ghostThreshold = 10;
    cv::Mat output;
    long long patchesMatched = -1;

    bool run(int bits, const cv::Mat& instant, const cv::Mat& exposure, int searchRadius, int tileSize = 9,
             int bandWorkers = 2) {
        const std::optional<CompensatedExposure> compensated = engine.compensateImage(
            {bits, 8, searchRadius, ghostThreshold, tileSize, bandWorkers, 3, progressPath}, instant, exposure);
        output = compensated ? compensated->image : cv::Mat();
        patchesMatched = compensated ? compensated->patchesMatched : -1;
        return compensated.has_value();
    }
};

double largestDifference(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF); }

TEST(Compensation, MovedObjectIsPutBackAtItsInstantPlaceAtEveryDepth) {
    const cv::Mat instant = periodicScene(120, 160, {40, 48});
    const cv::Mat exposure = periodicScene(120, 160, {72, 48});  // 32 columns to the right
    const int openCvThreads = cv::getNumThreads();
    for (int bits : {8, 16, 32}) {
        Compensation c;
        ASSERT_TRUE(c.run(bits, atDepth(instant, bits), atDepth(exposure, bits), 50)) << bits;
        EXPECT_EQ(largestDifference(c.output, atDepth(instant, bits)), 0) << bits << " bits";
    }
    EXPECT_EQ(cv::getNumThreads(), openCvThreads);  // held only while the workers ran
}

// The progress file after the band workers of one thread have refilled the ghost pixels
// of an exposure of this size (one worker, so that the order of its steps is fixed).
std::string progressOfWorkingBands(cv::Size size, int tileSize) {
    cv::Mat instant(size, CV_8UC3);
    cv::RNG(12).fill(instant, cv::RNG::UNIFORM, 0, 256);
    cv::Mat exposure = instant.clone();
    exposure(cv::Rect(20, 20, 6, 6)).setTo(cv::Scalar::all(255));
    Compensation c;
    EXPECT_TRUE(c.run(8, instant, exposure, 17, tileSize, 1));
    return readFile(c.progressPath);
}

TEST(Compensation, ExposureWithoutGhostsIsHandedOnAsItIsWithoutAnyMatch) {
    const cv::Mat scene = periodicScene(80, 90, {30, 30});
    const cv::Mat exposure = scene.clone();
    Compensation c;
    ASSERT_TRUE(c.run(8, scene, exposure, 30, 9, 1));
    EXPECT_EQ(c.patchesMatched, 0);
    EXPECT_EQ(c.output.data, exposure.data);
    // The file reads as if the band workers had walked the bands.
    EXPECT_EQ(readFile(c.progressPath), progressOfWorkingBands({90, 80}, 9));
}

TEST(Compensation, ProgressOfAnExposureWithoutGhostsIsThatOfTheBandWorkers) {
    for (const auto& [size, tile] : {std::pair{cv::Size(90, 80), 9}, std::pair{cv::Size(60, 400), 1},
                                     std::pair{cv::Size(200, 150), 5}, std::pair{cv::Size(40, 40), 3}}) {
        cv::Mat still(size, CV_8UC3);
        cv::RNG(13).fill(still, cv::RNG::UNIFORM, 0, 256);
        Compensation c;
        ASSERT_TRUE(c.run(8, still, still.clone(), 17, tile, 1));
        EXPECT_EQ(readFile(c.progressPath), progressOfWorkingBands(size, tile)) << size << " tile " << tile;
        EXPECT_NE(readFile(c.progressPath), "3 0") << size << " tile " << tile;
    }
}

// Every pixel differs: the interior is all ghost. With a tile of 25 on 45 rows the second
// band (rows 34 and 35) is centred on row 46, below the image; its tiles are matched there,
// in the window around that centre, not at a centre moved into the image.
TEST(Compensation, TilesCentredBeyondTheImageAreMatchedAtTheirOwnCentre) {
    cv::Mat instant(45, 60, CV_8UC3), exposure(45, 60, CV_8UC3);
    cv::RNG(14).fill(instant, cv::RNG::UNIFORM, 0, 256);
    cv::RNG(15).fill(exposure, cv::RNG::UNIFORM, 0, 256);
    const PatchMatch own = matchPatch({46, 21, 8, 20}, instant, exposure);
    const PatchMatch moved = matchPatch({44, 21, 8, 20}, instant, exposure);
    ASSERT_NE(std::pair(own.dy, own.dx), std::pair(moved.dy, moved.dx)) << "the case must tell the two centres apart";
    const int dy = own.dy, dx = own.dx;
    Compensation c;
    c.ghostThreshold = 0;
    ASSERT_TRUE(c.run(8, instant, exposure, 20, 25, 1));
    for (int y = 34; y <= 35; ++y)
        for (int x = 9; x <= 33; ++x)
            EXPECT_EQ(c.output.at<cv::Vec3b>(y, x),
                      exposure.at<cv::Vec3b>(std::clamp(y + dy, 0, 44), std::clamp(x + dx, 0, 59)))
                << y << ", " << x;
}

// A tile near the int range is larger than any image: the whole interior is one tile,
// centred far beyond the image, where no placement of the patch is found; its pixels
// stay as the exposure has them. Nothing may overflow on the way, whatever the threads.
TEST(Compensation, TileSizesNearTheIntRangeMakeOneTile) {
    cv::Mat instant(60, 70, CV_8UC3), exposure(60, 70, CV_8UC3);
    cv::RNG(16).fill(instant, cv::RNG::UNIFORM, 0, 256);
    cv::RNG(17).fill(exposure, cv::RNG::UNIFORM, 0, 256);
    for (int tile : {2147483639, 2147483646, 2147483647})
        for (int threads : {1, 2, 3}) {
            Compensation c;
            ASSERT_TRUE(c.run(8, instant, exposure, 20, tile, threads)) << tile << " " << threads;
            const cv::Rect interior(9, 9, 52, 42);
            EXPECT_EQ(largestDifference(c.output(interior), exposure(interior)), 0) << tile << " " << threads;
        }
}

bool sameBits(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return false;
    for (int y = 0; y < a.rows; ++y)
        if (std::memcmp(a.ptr(y), b.ptr(y), a.cols * a.elemSize()) != 0) return false;
    return true;
}

TEST(Compensation, GhostPixelsRemovedByTheCleanUpLeaveTheExposureBitForBit) {
    // Lone ghost pixels, also on the borders and corners, are not solid 3 x 3 squares:
    // the clean-up empties the mask, and every pixel must come from the exposure at its
    // own place, as the tile, border and corner passes would copy it. The float exposure
    // carries a NaN and a negative zero, whose bits a copy keeps.
    cv::Mat instant(61, 75, CV_8UC3);
    cv::RNG(11).fill(instant, cv::RNG::UNIFORM, 0, 120);
    cv::Mat exposure = instant.clone();
    for (cv::Point lone : {cv::Point(0, 0), cv::Point(74, 60), cv::Point(3, 30), cv::Point(40, 1),
                           cv::Point(37, 29), cv::Point(39, 29), cv::Point(72, 10)})
        exposure.at<cv::Vec3b>(lone) = cv::Vec3b(255, 255, 255);
    for (int bits : {8, 16, 32}) {
        cv::Mat exposed = atDepth(exposure, bits).clone();
        if (bits == 32) {
            exposed.at<cv::Vec3f>(20, 20)[1] = std::numeric_limits<float>::quiet_NaN();
            exposed.at<cv::Vec3f>(21, 20)[2] = -0.0f;
        }
        const cv::Mat expected = exposed.clone();
        for (int radius : {30, -1}) {
            Compensation c;
            ASSERT_TRUE(c.run(bits, atDepth(instant, bits), exposed, radius, 9, 1)) << bits;
            EXPECT_EQ(c.patchesMatched, 0) << bits;
            EXPECT_TRUE(sameBits(c.output, expected)) << bits << " bits, radius " << radius;
            EXPECT_EQ(readFile(c.progressPath), progressOfWorkingBands({75, 61}, 9));
        }
    }
}

TEST(Compensation, TopBandHandsEachDisplacementDownItsColumn) {
    // Ghost pixels in rows 0 to 8, columns 20 to 30: after the clean-up the mask covers
    // rows 0 to 11 and columns 17 to 33. The top band matches once per column (17), the
    // interior's first band has 3 ghost tiles, and the corners add 4.
    cv::Mat instant(60, 60, CV_8UC3);
    cv::RNG(9).fill(instant, cv::RNG::UNIFORM, 0, 256);
    cv::Mat exposure = instant.clone();
    exposure(cv::Rect(20, 0, 11, 9)).setTo(cv::Scalar::all(255));
    Compensation c;
    c.ghostThreshold = 0;
    ASSERT_TRUE(c.run(8, instant, exposure, 20, 9, 1));
    EXPECT_EQ(c.patchesMatched, 17 + 3 + 4);
}

// The radius that the compensation of instant and exposure chooses in the automatic mode.
int automaticRadius(MergeEngine& engine, const cv::Mat& instant, const cv::Mat& exposure) {
    const GhostMask ghosts = engine.buildGhostMask(instant, exposure, 10);
    const ExposurePair pair{instant, exposure, instant, exposure};
    return engine.chooseSearchRadius(pair, ghosts, 8, 2);
}

TEST(Compensation, AutomaticRadiusWithoutGhostsIsTheSmallest) {
    const cv::Mat scene = periodicScene(80, 90, {30, 30});
    Compensation c;
    ASSERT_TRUE(c.run(8, scene, scene.clone(), -1));
    EXPECT_EQ(automaticRadius(c.engine, scene, scene.clone()), 17);
}

TEST(Compensation, AutomaticRadiusWorksOnSmallImages) {
    for (cv::Size size : {cv::Size(160, 120), cv::Size(200, 20), cv::Size(18, 18)}) {
        cv::Mat instant(size, CV_8UC3);
        cv::RNG(8).fill(instant, cv::RNG::UNIFORM, 0, 256);
        cv::Mat exposure = instant.clone();
        exposure(cv::Rect(0, 0, 8, 8)).setTo(cv::Scalar::all(255));
        Compensation c;
        EXPECT_TRUE(c.run(8, instant, exposure, -1)) << size;
        EXPECT_GE(automaticRadius(c.engine, instant, exposure), 17) << size;
    }
}

TEST(Compensation, UnsupportedDepthsAreRefusedAndTinyImagesPassAsTheyAre) {
    Compensation c;
    const cv::Mat doubles(40, 40, CV_64FC3, cv::Scalar::all(0.5));
    EXPECT_FALSE(c.run(64, doubles, doubles, 20));
    EXPECT_TRUE(c.output.empty());
    const cv::Mat integers(40, 40, CV_32SC3, cv::Scalar::all(5));
    EXPECT_FALSE(c.run(32, integers, integers, 20));

    const cv::Mat tiny(17, 40, CV_8UC3, cv::Scalar::all(10));
    const cv::Mat other(17, 40, CV_8UC3, cv::Scalar::all(200));
    EXPECT_TRUE(c.run(8, tiny, other, 20));
    EXPECT_EQ(c.output.data, other.data);
}

TEST(Compensation, DisplacedSourcesOfLargeTilesStayInsideTheImage) {
    // Every interior pixel is a ghost, and the one tile's match is 15 rows down; with a
    // tile 41 rows high its lower pixels would read below the image.
    cv::Mat instant(60, 60, CV_8UC3);
    cv::RNG(3).fill(instant, cv::RNG::UNIFORM, 0, 256);
    cv::Mat exposure(60, 60, CV_8UC3);
    cv::RNG(4).fill(exposure, cv::RNG::UNIFORM, 0, 256);
    instant(cv::Rect(0, 0, 60, 45)).copyTo(exposure(cv::Rect(0, 15, 60, 45)));
    Compensation c;
    ASSERT_TRUE(c.run(8, instant, exposure, 40, 41));
    for (int x = 9; x <= 50; ++x) {
        EXPECT_EQ(c.output.at<cv::Vec3b>(40, x), exposure.at<cv::Vec3b>(55, x));
        EXPECT_EQ(c.output.at<cv::Vec3b>(49, x), exposure.at<cv::Vec3b>(59, x));  // row 64 kept at 59
    }
}

// One band worker's job on a 100 x 40 exposure that is all 1 and has no ghost pixel:
// the rows a worker fills turn 1.
struct BandWorkerCase {
    TempFolder folder;
    ProgressFile progress{folder.file("progress.txt"), 0};
    std::string progressPath = folder.file("progress.txt");
    cv::Mat output = cv::Mat::zeros(100, 40, CV_8UC1);
    CompensationJob job;

    explicit BandWorkerCase(int T) {
        const cv::Mat exposure = cv::Mat::ones(100, 40, CV_8UC1);
        job = {{exposure, exposure, exposure, exposure}, cv::Mat::zeros(100, 40, CV_8UC1), {100, 40, 8, 9}, 17, T};
    }
    void compensateBands(int firstCentreRow) { ::compensateBands(job, firstCentreRow, output, progress); }
    std::vector<int> filledRows() const {
        std::vector<int> rows;
        for (int y = 0; y < 100; ++y)
            if (output.at<uint8_t>(y, 20) != 0) rows.push_back(y);
        return rows;
    }
};

std::vector<int> rowRange(std::initializer_list<std::pair<int, int>> ranges) {
    std::vector<int> rows;
    for (auto [first, last] : ranges)
        for (int y = first; y <= last; ++y) rows.push_back(y);
    return rows;
}

TEST(Compensation, BandWorkerTakesEveryTthBandAndReportsItsProgress) {
    BandWorkerCase first(4);
    first.compensateBands(13);  // bands 0, 4 and 8
    EXPECT_EQ(first.filledRows(), rowRange({{9, 17}, {45, 53}, {81, 89}}));
    EXPECT_FLOAT_EQ(first.progress.percent(), 25.0f);
    EXPECT_EQ(readFile(first.progressPath), "0 25");

    BandWorkerCase second(4);
    second.compensateBands(22);  // bands 1, 5 and 9, the last one row high
    EXPECT_EQ(second.filledRows(), rowRange({{18, 26}, {54, 62}, {90, 90}}));

    BandWorkerCase withoutRound(8);
    withoutRound.compensateBands(22);  // bands 1 and 9
    EXPECT_EQ(withoutRound.filledRows(), rowRange({{18, 26}, {90, 90}}));
    EXPECT_EQ(withoutRound.progress.percent(), 0.0f);
    EXPECT_EQ(readFile(withoutRound.progressPath), "");
}

TEST(Compensation, ProgressFileClimbsInStepsOfTenAndStopsBelowAHundred) {
    cv::Mat instant(400, 60, CV_8UC3);
    cv::RNG(5).fill(instant, cv::RNG::UNIFORM, 0, 256);
    // One solid ghost keeps the bands at work; an exposure without any is handed on whole.
    cv::Mat exposure = instant.clone();
    exposure(cv::Rect(20, 200, 6, 6)).setTo(cv::Scalar::all(255));
    for (int T : {1, 2, 8}) {
        TempFolder folder;
        ProgressFile progress(folder.file("progress.txt"), 3);
        MergeEngine engine;
        const GhostMask ghosts = engine.buildGhostMask(instant, exposure, 10);
        ASSERT_FALSE(ghosts.noGhost);
        const CompensationJob job{{instant, exposure, instant, exposure}, ghosts.mask, {400, 60, 8, 1}, 17, T};
        compensateExposure(job, progress);
        EXPECT_EQ(readFile(folder.file("progress.txt")), "3 90") << T << " threads";
        EXPECT_FLOAT_EQ(progress.lastWrittenPercent(), 90.0f) << T << " threads";
    }
}

TEST(Compensation, UnwritableProgressFileIsSkipped) {
    const cv::Mat scene = periodicScene(80, 90, {30, 30});
    Compensation c;
    c.progressPath = c.folder.file("missing/progress.txt");
    EXPECT_TRUE(c.run(8, scene, periodicScene(80, 90, {30, 46}), 30));
}

// The bracket's exposures differ in brightness almost everywhere, which gives the
// workers and the border passes plenty of ghost pixels to refill.
TEST(Compensation, OutputDoesNotDependOnTheThreadCount) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    const int flags = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;
    const cv::Rect crop(300, 200, 400, 300);
    const cv::Mat instant = cv::imread(testDataPath("bracket-desk/img05.jpg"), flags)(crop);
    const cv::Mat exposure = cv::imread(testDataPath("bracket-desk/img07.jpg"), flags)(crop);
    cv::Mat reference;
    for (int T : {1, 2, 8}) {
        Compensation c;
        ASSERT_TRUE(c.run(8, instant, exposure, 20, 5, T));
        if (reference.empty()) {
            reference = c.output;
            EXPECT_GT(largestDifference(reference, exposure), 0);  // something was refilled
        } else {
            EXPECT_EQ(largestDifference(c.output, reference), 0) << T << " threads";
        }
    }
}

} // namespace
