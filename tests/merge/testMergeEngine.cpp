#include "diag/Log.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeEngine.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/ThreadStartFailure.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(GhostingPower, NoGhostGivesTheSmallestRadius) {
    MergeEngine engine;
    const cv::Mat image(40, 40, CV_8UC3, cv::Scalar::all(9));
    EXPECT_EQ(engine.chooseGhostingPower({image, image, cv::Mat(), cv::Mat()}, GhostMask{cv::Mat(), true}, 8, 1), 17);
}

TEST(GhostingPower, FailedEstimateIsReported) {
    TempFolder folder;
    setLogFolder(folder.path().string() + "/");
    // Two-channel images cannot be turned grey for the flow: the estimate fails.
    cv::Mat instant(60, 60, CV_8UC2);
    cv::randu(instant, 0, 256);
    MergeEngine engine;
    const GhostMask everywhere{cv::Mat(60, 60, CV_8UC1, cv::Scalar(255)), false};
    EXPECT_FALSE(engine.chooseGhostingPower({instant, instant, instant, instant}, everywhere, 8, 1));
    clearLogFolder();
    EXPECT_NE(readFile(folder.path() / "TessalineLog.txt")
                  .find("\nERROR at function Computing ghosting power => The automatic ghosting power option "
                        "failed maybe because of a lack of memory, try to disable this option next times\n\n"),
              std::string::npos);
}

// Without memory for the compensation of an exposure (its ghost mask, its output, its
// threads), the exposure is left out and reported; the process goes on.
void compensateWithoutMemory(const std::string& logFolder) {
    cv::Mat instant(1500, 1500, CV_8UC3), exposure(1500, 1500, CV_8UC3);
    cv::randu(instant, 0, 256);
    cv::randu(exposure, 0, 256);
    setLogFolder(logFolder);
    MergeEngine engine;
    cv::Mat output;
    if (!preventThreadStarts()) std::_Exit(2);
    if (engine.compensateImage(8, 8, 20, 10, 9, 2, 4, output, instant, exposure, "")) std::_Exit(3);
    const bool reported = readFile(logFolder + "TessalineLog.txt")
                              .find("ERROR at function parallelComputeLightImage => The exposure at visiting position "
                                    "4 could not be compensated: There was not enough memory.\n") != std::string::npos;
    std::_Exit(reported && output.empty() ? 0 : 4);
}

TEST(CompensationWithoutMemory, ExposureIsLeftOutAndReported) {
    if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TempFolder folder;
    EXPECT_EXIT(compensateWithoutMemory(folder.path().string() + "/"), ::testing::ExitedWithCode(0), "");
}

TEST(AccumulationWorkers, OtherDepthsAccumulateNothing) {
    MergeEngine engine;
    const cv::Mat doubles(3, 3, CV_64FC3, cv::Scalar::all(0.5));
    accumulateInstantImage(64, doubles, &engine);
    accumulateExposure(64, doubles, &engine);
    EXPECT_TRUE(engine.lightAccumulator().empty());
}

} // namespace
