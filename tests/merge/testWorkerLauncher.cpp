#include "merge/WorkerLauncher.hpp"
#include "tests/support/ThreadStartFailure.hpp"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

// What the last worker saw; written on the worker, read after the join.
struct Seen {
    int number = 0;
    MergeEngine* engine = nullptr;
    const uchar* pixels = nullptr;
    pthread_t thread{};
};
Seen seen;

void recordImage(int bitsPerChannel, cv::Mat image, MergeEngine* engine) {
    seen = {bitsPerChannel, engine, image.data, pthread_self()};
}

void recordValue(int value, MergeEngine* engine) { seen = {value, engine, nullptr, pthread_self()}; }

MergeEngine* const someEngine = reinterpret_cast<MergeEngine*>(0x1234);

TEST(WorkerLauncher, ImageWorkerGetsItsArgumentsOnItsOwnThread) {
    seen = {};
    const cv::Mat image(4, 4, CV_16UC3, cv::Scalar::all(7));
    pthread_t handle;
    ASSERT_TRUE(startImageWorker(recordImage, 16, image, someEngine, &handle));
    ASSERT_EQ(pthread_join(handle, nullptr), 0);
    EXPECT_EQ(seen.number, 16);
    EXPECT_EQ(seen.engine, someEngine);
    EXPECT_EQ(seen.pixels, image.data);  // shared, not copied
    EXPECT_FALSE(pthread_equal(seen.thread, pthread_self()));
}

// The caller may drop its own copy while the worker still holds the image; when the
// worker has ended, no reference of it may be left behind.
TEST(WorkerLauncher, ImageWorkerLeavesNoReferenceBehind) {
    const cv::Mat kept(64, 64, CV_8UC3, cv::Scalar::all(1));
    pthread_t handle;
    {
        cv::Mat handedOver = kept;
        ASSERT_TRUE(startImageWorker(recordImage, 8, handedOver, someEngine, &handle));
    }
    ASSERT_EQ(pthread_join(handle, nullptr), 0);
    EXPECT_EQ(kept.u->refcount, 1);
}

TEST(WorkerLauncher, WorkerGetsItsValueOnItsOwnThread) {
    seen = {};
    pthread_t handle;
    ASSERT_TRUE(startWorker([] { recordValue(42, someEngine); }, &handle));
    ASSERT_EQ(pthread_join(handle, nullptr), 0);
    EXPECT_EQ(seen.number, 42);
    EXPECT_EQ(seen.engine, someEngine);
    EXPECT_FALSE(pthread_equal(seen.thread, pthread_self()));
}

// Exit code 0: both launchers said no and the image kept no extra reference.
void startWithoutRoomForThreads() {
    if (!preventThreadStarts()) std::_Exit(2);
    const cv::Mat image(8, 8, CV_8UC1, cv::Scalar::all(3));
    pthread_t handle;
    if (startImageWorker(recordImage, 8, image, someEngine, &handle)) std::_Exit(3);
    if (startWorker([] { recordValue(1, someEngine); }, &handle)) std::_Exit(4);
    std::_Exit(image.u->refcount == 1 ? 0 : 5);
}

TEST(WorkerLauncher, ThreadThatCannotBeCreatedYieldsFalse) {
    if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(startWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}

} // namespace
