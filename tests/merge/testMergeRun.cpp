#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/MergeObserver.hpp"
#include "tests/support/LightFormula.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/ThreadStartFailure.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// Images held in memory; remembers which indices the run asked for, in order.
class MemorySequence : public ImagesSequenceBase {
public:
    explicit MemorySequence(std::vector<cv::Mat> images) : images(std::move(images)) {}
    cv::Mat getImage(int index) override {
        requested.push_back(index);
        return images[index];
    }
    bool isStopped() override { return false; }

    std::vector<cv::Mat> images;
    std::vector<int> requested;
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

class MergeRun : public ::testing::Test {
protected:
    TempFolder folder;
    MergeEngine engine;
    cv::Mat result;

    void SetUp() override { setLogFolder(folder.path().string() + "/"); }
    void TearDown() override { clearLogFolder(); }
    std::string log() const { return readFile(folder.path() / "TessalineLog.txt"); }
    bool run(MemorySequence& source, int instantIndex) {
        return engine.run(result, source, instantIndex, static_cast<int>(source.images.size()),
                          settings(false, 2, folder.file("progress.txt")));
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
    EXPECT_EQ(log(), "");
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
    std::vector<std::string> calls;
};

TEST_F(MergeRun, ObserverFollowsEveryExposureIncludingTheSkippedOnes) {
    MemorySequence source({frame(0), cv::Mat(), frame(2), frame(3, CV_8UC3, {17, 23})});
    RecordingObserver observer;
    ASSERT_TRUE(engine.run(result, source, 2, 4, settings(false, 2, folder.file("progress.txt")), &observer));
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
    const std::string text = log();
    for (const std::string message :
         {"The image number 1 has not the same type as the instant image.\n",
          "The image number 3 has not the same size as the instant image.\n",
          "Error during accessing the image at index 4\n",
          "The image number 6 has not the same type as the instant image.\n"})
        EXPECT_NE(text.find("\nERROR at function parallelComputeLightImage => " + message + "\n"),
                  std::string::npos)
            << message << " in\n" << text;
    EXPECT_TRUE(bitIdentical(result, straightforwardLight(source.images[2], {source.images[0], source.images[5]})));
}

TEST_F(MergeRun, SixtyFourBitImagesAreCheckedButNotAccumulated) {
    const cv::Mat doubles(5, 6, CV_64FC3, cv::Scalar::all(0.25));
    MemorySequence source({doubles, doubles.clone(), cv::Mat(5, 7, CV_64FC3), doubles.clone()});
    ASSERT_TRUE(run(source, 1));
    EXPECT_EQ(source.requested, (std::vector<int>{1, 2, 0, 3}));
    EXPECT_TRUE(result.empty());
    EXPECT_TRUE(engine.lightAccumulator().empty());
    EXPECT_NE(log().find("The image number 2 has not the same size as the instant image.\n"),
              std::string::npos);
}

TEST_F(MergeRun, UnreadableInstantImageEndsTheRun) {
    MemorySequence source({frame(0), cv::Mat(), frame(2)});
    EXPECT_FALSE(run(source, 1));
    EXPECT_EQ(source.requested, std::vector<int>{1});
    EXPECT_TRUE(result.empty());
    const std::string text = log();
    EXPECT_NE(text.find("\nERROR at function Main => Error during accessing the image at index 1\n\n\n"),
              std::string::npos)
        << text;
}

// A flat exposure has nothing to align by. The run stops there with an empty result, and
// the addition that was running (the exposure before it) is complete when it returns.
TEST_F(MergeRun, FailedAlignmentEndsTheRunAfterTheRunningAddition) {
    const cv::Mat instant = frame(0, CV_32FC3, {800, 600}) / 256;
    const cv::Mat darker = instant * 0.8;
    MemorySequence source({frame(1, CV_32FC3, {800, 600}), cv::Mat(600, 800, CV_32FC3, cv::Scalar::all(0.5)),
                           instant, darker, frame(4, CV_32FC3, {800, 600})});
    ASSERT_TRUE(engine.run(result, source, 2, 5, settings(true, 2, folder.file("progress.txt"))));
    EXPECT_EQ(source.requested, (std::vector<int>{2, 3, 1}));
    EXPECT_TRUE(result.empty());
    cv::Mat expectedSum, power;
    instant.convertTo(expectedSum, CV_64F);
    darker.convertTo(power, CV_64F);
    cv::pow(power, 2.2, power);
    expectedSum += power;
    ASSERT_FALSE(engine.lightAccumulator().empty());
    EXPECT_LT(cv::norm(engine.lightAccumulator().lightSum(), expectedSum, cv::NORM_INF), 1e-12);
    EXPECT_NE(log().find("\nERROR at function Aligning images => The align option failed: The exposure and the "
                         "instant image do not correlate: there is nothing to align them by. Please try to disable "
                         "this option next times.\n\n"),
              std::string::npos)
        << log();
}

// Without room for a worker thread, the run adds every exposure on its own thread and
// the light image comes out the same.
void mergeWithoutRoomForThreads() {
    MemorySequence source({frame(0), frame(1), frame(2)});
    const cv::Mat expected = straightforwardLight(source.images[1], {source.images[0], source.images[2]});
    if (!preventThreadStarts()) std::_Exit(2);
    MergeEngine engine;
    cv::Mat light;
    if (!engine.run(light, source, 1, 3, settings(false, 1, ""))) std::_Exit(3);
    std::_Exit(!light.empty() && bitIdentical(light, expected) ? 0 : 4);
}

TEST(MergeRunFallback, WorkerThatCannotStartIsRunOnTheCallingThread) {
    if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(mergeWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}

// No memory for the accumulator: reported, and the run ends with an empty result instead
// of the process dying.
void mergeWithoutRoomForTheLight(const std::string& logFolder) {
    MemorySequence source(std::vector<cv::Mat>{frame(0, CV_8UC3, {1000, 1000})});
    setLogFolder(logFolder);
    if (!preventThreadStarts()) std::_Exit(2);
    MergeEngine engine;
    cv::Mat light = frame(1);
    if (!engine.run(light, source, 0, 1, settings(false, 1, ""))) std::_Exit(3);
    const bool reported = readFile(logFolder + "TessalineLog.txt")
                              .find("ERROR at function parallelComputeLightImage => Not enough memory "
                                    "for the light image.\n") != std::string::npos;
    std::_Exit(light.empty() && reported ? 0 : 4);
}

TEST(MergeRunFallback, NoMemoryForTheLightGivesAnEmptyResult) {
    if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFolder folder;
    EXPECT_EXIT(mergeWithoutRoomForTheLight(folder.path().string() + "/"), ::testing::ExitedWithCode(0), "");
}

} // namespace
