#include "diag/Log.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeEngine.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

namespace {

TEST(GhostingPower, NoGhostGivesTheSmallestRadius) {
    MergeEngine engine;
    const cv::Mat image(40, 40, CV_8UC3, cv::Scalar::all(9));
    EXPECT_EQ(engine.chooseGhostingPower({image, image, cv::Mat(), cv::Mat()}, GhostMask{cv::Mat(), true}, 8), 17);
}

TEST(GhostingPower, FailedEstimateIsReported) {
    TempFolder folder;
    setLogFolder(folder.path().string() + "/");
    // One-channel images cannot be turned grey for the flow: the estimate fails.
    cv::Mat instant(60, 60, CV_8UC1);
    cv::randu(instant, 0, 256);
    MergeEngine engine;
    const GhostMask everywhere{cv::Mat(60, 60, CV_8UC1, cv::Scalar(255)), false};
    EXPECT_FALSE(engine.chooseGhostingPower({instant, instant, instant, instant}, everywhere, 8));
    clearLogFolder();
    EXPECT_NE(readFile(folder.path() / "TessalineLog.txt")
                  .find("\nERROR at function Computing ghosting power => The automatic ghosting power option "
                        "failed maybe because of a lack of memory, try to disable this option next times\n\n"),
              std::string::npos);
}

TEST(AccumulationWorkers, OtherDepthsAccumulateNothing) {
    MergeEngine engine;
    const cv::Mat doubles(3, 3, CV_64FC3, cv::Scalar::all(0.5));
    accumulateInstantImage(64, doubles, &engine);
    accumulateExposure(64, doubles, &engine);
    EXPECT_TRUE(engine.lightAccumulator().empty());
}

} // namespace
