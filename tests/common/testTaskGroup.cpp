#include "common/TaskGroup.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace tl;

namespace {

using namespace std::chrono_literals;

// A task shares its values with its thread (an image is not copied) and leaves no
// reference to them behind once the group has waited for it.
TEST(TaskGroup, TaskRunsOnItsOwnThreadAndLeavesNoReferenceBehind) {
    const cv::Mat kept(64, 64, CV_8UC3, cv::Scalar::all(1));
    std::thread::id ranOn;
    const uchar* seenPixels = nullptr;
    TaskGroup group;
    {
        const cv::Mat handedOver = kept;
        group.run([handedOver, &ranOn, &seenPixels] {
            ranOn = std::this_thread::get_id();
            seenPixels = handedOver.data;
        });
    }
    group.wait();
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_EQ(seenPixels, kept.data);
    EXPECT_EQ(kept.u->refcount, 1);
}

// Every task runs once; the first exception thrown is carried to wait(), after every
// task has ended, and the group can be used again afterwards.
TEST(TaskGroup, FirstExceptionReachesTheCallerOnceAllHaveEnded) {
    std::atomic<int> ended{0};
    TaskGroup group;
    group.run([&] {
        std::this_thread::sleep_for(20ms);
        ++ended;
    });
    group.run([&] {
        ++ended;
        throw std::runtime_error("no room");
    });
    group.run([&] { ++ended; });
    try {
        group.wait();
        ADD_FAILURE() << "the exception was lost";
    } catch (const std::runtime_error& failure) {
        EXPECT_STREQ(failure.what(), "no room");
    }
    EXPECT_EQ(ended, 3);
    group.run([&] { ++ended; });
    EXPECT_NO_THROW(group.wait());
    EXPECT_EQ(ended, 4);
}

// A thread started before a later step of its owner throws (a push_back that runs out of
// memory, say) is joined while the owner's frame unwinds: it never runs against a frame
// that is gone, and it never ends the process for want of a join.
TEST(TaskGroup, ThreadStartedBeforeAFailingStepIsJoinedWhileTheFrameUnwinds) {
    std::atomic<bool> finished{false};
    try {
        std::vector<int> results(1, 0);
        TaskGroup group;
        group.run([&results, &finished] {
            std::this_thread::sleep_for(50ms);
            results[0] = 7;
            finished = true;
        });
        throw std::bad_alloc();
    } catch (const std::bad_alloc&) {
        EXPECT_TRUE(finished) << "the thread was still running when its frame was gone";
    }
}

// Without room for another thread, run() does every task at once on the caller, and
// start() refuses without running the task.
void runWithoutRoomForThreads() {
    if (!preventThreadStarts()) std::_Exit(2);
    std::thread::id ranOn;
    bool started = false;
    TaskGroup group;
    group.run([&] { ranOn = std::this_thread::get_id(); });
    if (ranOn != std::this_thread::get_id()) std::_Exit(3);
    if (group.start([&] { started = true; }) || started) std::_Exit(4);
    group.wait();
    std::_Exit(0);
}

TEST(TaskGroup, TaskWithoutAThreadIsRunByTheCaller) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(runWithoutRoomForThreads());
}

// A thread count asked for is held to the cores, and to at least one.
TEST(TaskGroup, ThreadCountsAreCappedAtTheCores) {
    EXPECT_EQ(cappedThreadCount(100000), coreCount());
    EXPECT_EQ(cappedThreadCount(0), 1);
    EXPECT_EQ(cappedThreadCount(-5), 1);
    EXPECT_EQ(cappedThreadCount(1), 1);
    EXPECT_EQ(coreCount(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

struct Visits {
    std::vector<std::atomic<int>> counts;
    std::mutex lock;
    std::vector<std::thread::id> threads;
    explicit Visits(std::size_t total) : counts(total) {}
    bool eachOnce() const {
        for (const auto& c : counts)
            if (c != 1) return false;
        return true;
    }
};

void visit(std::size_t total, std::size_t minimumSlice, Visits& visits) {
    runInSlices(total, minimumSlice, [&visits](std::size_t first, std::size_t last) {
        for (std::size_t i = first; i < last; ++i) ++visits.counts[i];
        const std::lock_guard<std::mutex> held(visits.lock);
        visits.threads.push_back(std::this_thread::get_id());
    });
}

// Slices cover the range once, whatever its length against the cores and the minimum
// (0 included); no slice is shorter than the minimum, so a short range is one slice.
TEST(ParallelSlices, EveryIndexIsVisitedOnce) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    for (std::size_t total : {0u, 1u, 2u, 15u, 16u, 17u, 33u, 1000u, 4099u})
        for (std::size_t minimum : {0u, 1u, 16u, 1000u}) {
            Visits visits(total);
            visit(total, minimum, visits);
            EXPECT_TRUE(visits.eachOnce()) << total << " by " << minimum;
            const std::size_t expectedSlices = std::clamp<std::size_t>(total / std::max<std::size_t>(minimum, 1), 1, cores);
            EXPECT_EQ(visits.threads.size(), expectedSlices) << total << " by " << minimum;
        }
}

// Without room for another thread every slice is done by the caller, still once each.
void visitWithoutRoomForThreads() {
    Visits visits(4096);
    if (!preventThreadStarts()) std::_Exit(2);
    visit(visits.counts.size(), 1, visits);
    for (std::thread::id id : visits.threads)
        if (id != std::this_thread::get_id()) std::_Exit(3);
    std::_Exit(visits.eachOnce() ? 0 : 4);
}

TEST(ParallelSlices, SlicesWithoutAThreadAreDoneByTheCaller) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(visitWithoutRoomForThreads());
}

} // namespace
