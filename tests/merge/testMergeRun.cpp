#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/MergeObserver.hpp"
#include "tests/support/LightFormula.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <cstdlib>
#include <vector>

using namespace tl;

namespace {

// Images held in memory; remembers which indices the run asked for, in order. The images
// at the unopenable indices fail as a file that cannot be opened does.
class MemorySequence : public ImagesSequenceBase {
public:
    explicit MemorySequence(std::vector<cv::Mat> images) : images(std::move(images)) {}
    cv::Mat getImage(int index) override {
        requested.push_back(index);
        if (std::find(unopenable.begin(), unopenable.end(), index) != unopenable.end())
            throw StepFailure({Failure::Code::imageUnreadable, "", "cannot open " + std::to_string(index)});
        return images[index];
    }
    bool isStopped() override { return false; }

    std::vector<cv::Mat> images;
    std::vector<int> requested;
    std::vector<int> unopenable;
};

cv::Mat frame(int seed, int type = CV_8UC3, cv::Size size = {23, 17}) {
    cv::Mat image(size, type);
    cv::RNG(seed).fill(image, cv::RNG::UNIFORM, 0, CV_MAT_DEPTH(type) == CV_16U ? 65536 : 256);
    return image;
}

// Ghosting power 2 %, ghost threshold 1000 % (no pixel is a ghost), tile size 9.
MergeSettings settings(bool align, int threads, const std::string& progressPath) {
    MergeSettings s;
    s.ghostingPower = 2;
    s.ghostThreshold = 1000;
    s.align = align;
    s.tileSize = 9;
    s.threads = threads;
    s.progressPath = progressPath;
    return s;
}

// Writes down what the run tells it, in order.
class RecordingObserver : public MergeObserver {
public:
    void imageLoaded(int index, const cv::Mat& image) override {
        calls.push_back("loaded " + std::to_string(index) + " " + std::to_string(image.cols));
    }
    void exposureVisited(int position, int exposures) override {
        calls.push_back("visited " + std::to_string(position) + "/" + std::to_string(exposures));
    }
    void passedOver(const Failure& fault) override { faults.push_back(fault.detail); }
    std::vector<std::string> calls;
    std::vector<std::string> faults;
};

class MergeRun : public ::testing::Test {
protected:
    TempFolder folder;
    MergeEngine engine;
    RecordingObserver observer;
    cv::Mat result;
    std::optional<Failure> failure;  // what ended the run, if anything did

    // Runs the merge; false when a failure ended it.
    bool run(MemorySequence& source, int instantIndex, bool align = false) {
        result = cv::Mat();
        failure.reset();
        try {
            result = engine.run(source, instantIndex, static_cast<int>(source.images.size()),
                                settings(align, 2, folder.file("progress.txt")), &observer);
        } catch (const StepFailure& ended) {
            failure = ended.failure();
        }
        return !failure;
    }
};

TEST_F(MergeRun, VisitsTheExposuresOutwardsFromTheInstantImage) {
    for (const auto& [instant, order] : std::vector<std::pair<int, std::vector<int>>>{
             {1, {1, 2, 0, 3, 4}}, {4, {4, 3, 2, 1, 0}}, {0, {0, 1, 2, 3, 4}}, {2, {2, 3, 1, 4, 0}}}) {
        MemorySequence source({frame(0), frame(1), frame(2), frame(3), frame(4)});
        ASSERT_TRUE(run(source, instant));
        EXPECT_EQ(source.requested, order) << "instant image " << instant;
        std::vector<cv::Mat> exposures = source.images;
        exposures.erase(exposures.begin() + instant);
        EXPECT_TRUE(bitIdentical(result, straightforwardLight(source.images[instant], exposures)));
    }
    EXPECT_TRUE(observer.faults.empty());
}

TEST_F(MergeRun, ObserverFollowsEveryExposureIncludingTheSkippedOnes) {
    MemorySequence source({frame(0), cv::Mat(), frame(2), frame(3, CV_8UC3, {17, 23})});
    ASSERT_TRUE(run(source, 2));
    EXPECT_EQ(observer.calls, (std::vector<std::string>{"loaded 2 23", "loaded 3 17", "visited 1/3", "visited 2/3",
                                                        "loaded 0 23", "visited 3/3"}));
}

TEST_F(MergeRun, InstantImageAloneStillMakesTheLightImage) {
    MemorySequence source(std::vector<cv::Mat>{frame(7, CV_16UC3)});
    ASSERT_TRUE(run(source, 0));
    EXPECT_EQ(source.requested, std::vector<int>{0});
    EXPECT_TRUE(bitIdentical(result, straightforwardLight(source.images[0], {})));
}

TEST_F(MergeRun, MismatchedExposuresAreReportedAndTheRestMerged) {
    MemorySequence source({frame(0), frame(1, CV_8UC1), frame(2), frame(3, CV_8UC3, {17, 23}),
                           cv::Mat(), frame(5), frame(6, CV_16UC3)});
    ASSERT_TRUE(run(source, 2));
    // In the order of the visits: 3, 1, 4, 0, 5, 6.
    EXPECT_EQ(observer.faults, (std::vector<std::string>{
                                   "The image number 3 has not the same size as the instant image.\n",
                                   "The image number 1 has not the same type as the instant image.\n",
                                   "Error during accessing the image at index 4\n",
                                   "The image number 6 has not the same type as the instant image.\n"}));
    EXPECT_TRUE(bitIdentical(result, straightforwardLight(source.images[2], {source.images[0], source.images[5]})));
}

TEST_F(MergeRun, SixtyFourBitImagesAreCheckedButNotAccumulated) {
    const cv::Mat doubles(5, 6, CV_64FC3, cv::Scalar::all(0.25));
    MemorySequence source({doubles, doubles.clone(), cv::Mat(5, 7, CV_64FC3), doubles.clone()});
    ASSERT_TRUE(run(source, 1));
    EXPECT_EQ(source.requested, (std::vector<int>{1, 2, 0, 3}));
    EXPECT_TRUE(result.empty());
    EXPECT_TRUE(engine.lightAccumulator().empty());
    EXPECT_EQ(observer.faults,
              std::vector<std::string>{"The image number 2 has not the same size as the instant image.\n"});
}

TEST_F(MergeRun, UnreadableInstantImageEndsTheRun) {
    MemorySequence source({frame(0), cv::Mat(), frame(2)});
    EXPECT_FALSE(run(source, 1));
    EXPECT_EQ(source.requested, std::vector<int>{1});
    EXPECT_TRUE(result.empty());
    EXPECT_EQ(failure->code, Failure::Code::instantImageMissing);
    EXPECT_EQ(failure->detail, "Error during accessing the image at index 1\n");
}

TEST_F(MergeRun, FileThatCannotBeOpenedIsPassedOverAndThenLeftOut) {
    MemorySequence source({frame(0), frame(1), frame(2)});
    source.unopenable = {0};
    ASSERT_TRUE(run(source, 1));
    EXPECT_EQ(observer.faults,
              (std::vector<std::string>{"cannot open 0", "Error during accessing the image at index 0\n"}));
    EXPECT_TRUE(bitIdentical(result, straightforwardLight(source.images[1], {source.images[2]})));

    observer.faults.clear();
    source.unopenable = {1};
    EXPECT_FALSE(run(source, 1));
    EXPECT_EQ(failure->code, Failure::Code::instantImageMissing);
    EXPECT_EQ(observer.faults, std::vector<std::string>{"cannot open 1"});
}

// A flat exposure has nothing to align by. The run stops there with an empty result, and
// the addition that was running (the exposure before it) is complete when it returns.
TEST_F(MergeRun, FailedAlignmentEndsTheRunAfterTheRunningAddition) {
    const cv::Mat instant = frame(0, CV_32FC3, {800, 600}) / 256;
    const cv::Mat darker = instant * 0.8;
    MemorySequence source({frame(1, CV_32FC3, {800, 600}), cv::Mat(600, 800, CV_32FC3, cv::Scalar::all(0.5)),
                           instant, darker, frame(4, CV_32FC3, {800, 600})});
    EXPECT_FALSE(run(source, 2, true));
    EXPECT_EQ(source.requested, (std::vector<int>{2, 3, 1}));
    EXPECT_TRUE(result.empty());
    cv::Mat expectedSum, power;
    instant.convertTo(expectedSum, CV_64F);
    darker.convertTo(power, CV_64F);
    cv::pow(power, 2.2, power);
    expectedSum += power;
    ASSERT_FALSE(engine.lightAccumulator().empty());
    EXPECT_LT(cv::norm(engine.lightAccumulator().lightSum(), expectedSum, cv::NORM_INF), 1e-12);
    EXPECT_EQ(failure->code, Failure::Code::alignmentFailed);
    EXPECT_EQ(failure->detail, "The align option failed: The exposure and the instant image do not correlate: there "
                               "is nothing to align them by. Please try to disable this option next times.");
}

// Without room for a worker thread, the run adds every exposure on its own thread and
// the light image comes out the same.
void mergeWithoutRoomForThreads() {
    MemorySequence source({frame(0), frame(1), frame(2)});
    const cv::Mat expected = straightforwardLight(source.images[1], {source.images[0], source.images[2]});
    if (!preventThreadStarts()) std::_Exit(2);
    MergeEngine engine;
    const cv::Mat light = engine.run(source, 1, 3, settings(false, 1, ""));
    std::_Exit(!light.empty() && bitIdentical(light, expected) ? 0 : 4);
}

TEST(MergeRunFallback, WorkerThatCannotStartIsRunOnTheCallingThread) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(mergeWithoutRoomForThreads());
}

// No memory for the accumulator: the run ends with the light image's failure instead of
// the process dying.
void mergeWithoutRoomForTheLight() {
    MemorySequence source(std::vector<cv::Mat>{frame(0, CV_8UC3, {1000, 1000})});
    if (!preventThreadStarts()) std::_Exit(2);
    MergeEngine engine;
    try {
        engine.run(source, 0, 1, settings(false, 1, ""));
    } catch (const StepFailure& failure) {
        const bool told = failure.failure().code == Failure::Code::lightImageMemory &&
                          failure.failure().detail == "Not enough memory for the light image.\n";
        std::_Exit(told && engine.lightAccumulator().empty() ? 0 : 4);
    }
    std::_Exit(3);
}

TEST(MergeRunFallback, NoMemoryForTheLightEndsTheRunWithItsFailure) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(mergeWithoutRoomForTheLight());
}

} // namespace
