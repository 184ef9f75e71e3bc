#include "tests/support/RunProgram.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <iostream>

using namespace tl;

namespace {

// Runs the merge program on frames (written as lossless PNG files into folder) with the
// frame at instantIndex as instant image, and returns the light image read back from a
// 16-bit PNG, as float 0 to 255. Empty when the merge failed.
cv::Mat mergeFrames(const TempFolder& folder, const std::string& name, const std::vector<cv::Mat>& frames,
                    int instantIndex, const std::string& ghostThreshold, const std::string& ghostingPower) {
    MergeCall call;
    for (size_t i = 0; i < frames.size(); ++i) {
        const std::string path = folder.file(name + "-frame" + std::to_string(i) + ".png");
        if (!cv::imwrite(path, frames[i])) return cv::Mat();
        call.exposures.push_back(path);
    }
    call.ghostThreshold = ghostThreshold;
    call.ghostingPower = ghostingPower;
    call.threads = "2";
    call.tileSize = "9";
    call.progressPath = folder.file("progress.txt");
    call.applicationFolder = folder.path().string();
    call.outputPath = folder.file(name + "-merged.png");
    call.outputBits = "16";
    call.instantPath = call.exposures[instantIndex];
    // exiftool's remarks about tags in PNG files go to a file of their own.
    if (runProgram(TL_TESSALINE_BIN, call.arguments(), "", folder.file(name + "-stderr.txt")) != 0)
        return cv::Mat();
    const cv::Mat written = cv::imread(call.outputPath, cv::IMREAD_UNCHANGED);
    cv::Mat light;
    if (!written.empty()) written.convertTo(light, CV_32F, 1.0 / 257.0);
    return light;
}

// The three merges that measure a ghost: the frames with compensation, a reference merge
// of frames in which nothing moved, and the frames with compensation effectively off
// (ghost threshold 1000 %).
struct GhostMerges {
    TempFolder folder;
    cv::Mat compensated, reference, plain;

    GhostMerges(const std::vector<cv::Mat>& frames, const std::vector<cv::Mat>& stillFrames, int instantIndex,
                const std::string& ghostingPower)
        : compensated(mergeFrames(folder, "compensated", frames, instantIndex, "10", ghostingPower)),
          reference(mergeFrames(folder, "reference", stillFrames, instantIndex, "10", ghostingPower)),
          plain(mergeFrames(folder, "plain", frames, instantIndex, "1000", ghostingPower)) {}
    bool complete() const { return !compensated.empty() && !reference.empty() && !plain.empty(); }
};

// Mean absolute difference over the pixels of mask, all channels, in 8-bit levels.
double meanDifference(const cv::Mat& a, const cv::Mat& b, const cv::Mat& mask) {
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    const cv::Scalar mean = cv::mean(difference, mask);
    return (mean[0] + mean[1] + mean[2]) / 3.0;
}

// A still, textured scene (fine and coarse texture, a few shapes) with a textured
// square object standing at objectAt, and sensor noise of its own in every frame.
class MovingObjectScene {
public:
    static constexpr int side = 28;

    MovingObjectScene() : background(240, 320, CV_8UC3), object(side, side, CV_8UC3) {
        cv::Mat fine(240, 320, CV_8UC3), coarse(24, 32, CV_8UC3);
        cv::RNG rng(21);
        rng.fill(fine, cv::RNG::UNIFORM, 0, 256);
        rng.fill(coarse, cv::RNG::UNIFORM, 40, 200);
        cv::GaussianBlur(fine, fine, cv::Size(5, 5), 1.2);
        cv::resize(coarse, background, background.size(), 0, 0, cv::INTER_CUBIC);
        cv::addWeighted(background, 0.6, fine, 0.4, 0, background);
        cv::rectangle(background, cv::Rect(20, 150, 60, 50), cv::Scalar(30, 60, 200), cv::FILLED);
        cv::circle(background, {260, 60}, 30, cv::Scalar(220, 210, 90), cv::FILLED);
        rng.fill(object, cv::RNG::UNIFORM, 0, 256);
        cv::GaussianBlur(object, object, cv::Size(3, 3), 0.8);
        object += cv::Scalar(40, 0, 80);
    }

    cv::Mat frame(cv::Point objectAt, int noiseSeed) const {
        cv::Mat frame = background.clone();
        object.copyTo(frame(cv::Rect(objectAt, object.size())));
        cv::Mat noise(frame.size(), CV_16SC3);
        cv::RNG(noiseSeed).fill(noise, cv::RNG::NORMAL, 0, 2.0);
        cv::add(frame, noise, frame, cv::noArray(), CV_8UC3);
        return frame;
    }

private:
    cv::Mat background, object;
};

// Five frames of an object moving 32 pixels to the right from frame to frame, the
// middle one the instant image. The ghosts it leaves in a plain sum are measured against
// a merge of frames in which it stands still at its instant place.
TEST(GhostRemoval, MovingObjectAppearsOnlyAtItsInstantPlace) {
    const MovingObjectScene scene;
    const int instantIndex = 2;
    std::vector<cv::Point> places;
    std::vector<cv::Mat> moving, still;
    for (int i = 0; i < 5; ++i) places.push_back({90 + 32 * i, 110});
    for (int i = 0; i < 5; ++i) {
        moving.push_back(scene.frame(places[i], 100 + i));
        still.push_back(scene.frame(places[instantIndex], 100 + i));
    }
    // A search radius of 24 % of 320 pixels (76) reaches the farthest place, 64 pixels away.
    const GhostMerges merges(moving, still, instantIndex, "24");
    ASSERT_TRUE(merges.complete());
    const cv::Mat &compensated = merges.compensated, &reference = merges.reference, &plain = merges.plain;

    const cv::Size objectSize(MovingObjectScene::side, MovingObjectScene::side);
    cv::Mat otherPlaces = cv::Mat::zeros(compensated.size(), CV_8UC1);
    for (int i = 0; i < 5; ++i)
        if (i != instantIndex) otherPlaces(cv::Rect(places[i], objectSize)).setTo(255);
    cv::Mat instantPlace = cv::Mat::zeros(compensated.size(), CV_8UC1);
    instantPlace(cv::Rect(places[instantIndex], objectSize)).setTo(255);

    const double residual = meanDifference(compensated, reference, otherPlaces);
    const double uncompensated = meanDifference(plain, reference, otherPlaces);
    const double atInstantPlace = meanDifference(compensated, reference, instantPlace);
    const double plainAtInstantPlace = meanDifference(plain, reference, instantPlace);
    std::cout << "residual ghost over the object's other places: " << residual << " levels compensated, "
              << uncompensated << " levels without compensation; at its instant place " << atInstantPlace
              << " against " << plainAtInstantPlace << "\n";
    EXPECT_LT(residual, 0.25 * uncompensated);
    EXPECT_LT(atInstantPlace, 0.25 * plainAtInstantPlace);
}

// Consecutive frames of a fixed camera while a hand passes in front of it, the middle one
// the instant image. The reference is a merge of copies of the instant frame: what the
// merge would give if nothing had moved.
TEST(GhostRemoval, HandPassingInFrontOfAFixedCameraIsCleanedAway) {
    TL_REQUIRE_TEST_DATA("video/tree.avi");
    cv::VideoCapture video(testDataPath("video/tree.avi"), cv::CAP_FFMPEG);
    ASSERT_TRUE(video.isOpened());
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    for (int index = 0; index <= 62 && video.read(frame); ++index)
        if (index >= 58) frames.push_back(frame.clone());
    ASSERT_EQ(frames.size(), 5u);
    const int instantIndex = 2;  // frame 60
    const std::vector<cv::Mat> copies(frames.size(), frames[instantIndex]);

    const GhostMerges merges(frames, copies, instantIndex, "15");
    ASSERT_TRUE(merges.complete());

    // Where the hand (or anything else) shows in some frame but not in the instant one.
    cv::Mat moved = cv::Mat::zeros(frames[0].size(), CV_8UC1), instantGrey, grey, difference;
    cv::cvtColor(frames[instantIndex], instantGrey, cv::COLOR_BGR2GRAY);
    for (const cv::Mat& other : frames) {
        cv::cvtColor(other, grey, cv::COLOR_BGR2GRAY);
        cv::absdiff(grey, instantGrey, difference);
        moved |= difference > 40;
    }
    ASSERT_GT(cv::countNonZero(moved), 500) << "no motion around frame 60";

    const double residual = meanDifference(merges.compensated, merges.reference, moved);
    const double uncompensated = meanDifference(merges.plain, merges.reference, moved);
    std::cout << "moving area " << cv::countNonZero(moved) << " pixels; residual ghost " << residual
              << " levels compensated, " << uncompensated << " levels without compensation\n";
    EXPECT_LT(residual, 0.5 * uncompensated);
}

} // namespace
