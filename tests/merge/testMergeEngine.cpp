#include "diag/Log.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeEngine.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace tl;

namespace {

TEST(GhostingPower, NoGhostGivesTheSmallestRadius) {
    MergeEngine engine;
    const cv::Mat image(40, 40, CV_8UC3, cv::Scalar::all(9));
    EXPECT_EQ(engine.chooseSearchRadius({image, image, cv::Mat(), cv::Mat()}, GhostMask{cv::Mat(), true}, 8, 1), 17);
}

// The failure that a step throws: its code and its report's sentence.
template <typename Step> Failure failureOf(Step step) {
    try {
        step();
    } catch (const StepFailure& failure) {
        return failure.failure();
    }
    ADD_FAILURE() << "the step did not fail";
    return {};
}

TEST(GhostingPower, FailedEstimateIsThrownAsItsFailure) {
    // Two-channel images cannot be turned grey for the flow: the estimate fails.
    cv::Mat instant(60, 60, CV_8UC2);
    cv::randu(instant, 0, 256);
    MergeEngine engine;
    const GhostMask everywhere{cv::Mat(60, 60, CV_8UC1, cv::Scalar(255)), false};
    const Failure failure =
        failureOf([&] { engine.chooseSearchRadius({instant, instant, instant, instant}, everywhere, 8, 1); });
    EXPECT_EQ(failure.code, Failure::Code::searchRadiusFailed);
    EXPECT_EQ(failure.detail, "The automatic ghosting power option failed maybe because of a lack of memory, try to "
                              "disable this option next times");
}

// Without memory for the compensation of an exposure (its ghost mask, its output, its
// threads), the compensation fails with a failure of its own instead of the process
// dying.
void compensateWithoutMemory() {
    cv::Mat instant(1500, 1500, CV_8UC3), exposure(1500, 1500, CV_8UC3);
    cv::randu(instant, 0, 256);
    cv::randu(exposure, 0, 256);
    MergeEngine engine;
    if (!preventThreadStarts()) std::_Exit(2);
    try {
        engine.compensateImage({8, 8, 20, 10, 9, 2, 4, ""}, instant, exposure);
    } catch (const StepFailure& failure) {
        const bool told = failure.failure().code == Failure::Code::compensationFailed &&
                          failure.failure().detail == "The exposure at visiting position 4 could not be compensated: "
                                                      "There was not enough memory.\n";
        std::_Exit(told ? 0 : 4);
    }
    std::_Exit(3);
}

TEST(CompensationWithoutMemory, CompensationFailsWithItsOwnFailure) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(compensateWithoutMemory());
}

TEST(AccumulationWorkers, OtherDepthsAccumulateNothing) {
    MergeEngine engine;
    const cv::Mat doubles(3, 3, CV_64FC3, cv::Scalar::all(0.5));
    accumulateInstantImage(64, doubles, &engine);
    accumulateExposure(64, doubles, &engine);
    EXPECT_TRUE(engine.lightAccumulator().empty());
}

} // namespace
