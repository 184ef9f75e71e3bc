#include "common/ParallelSlices.hpp"
#include "tests/support/ThreadStartFailure.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <thread>
#include <vector>

namespace {

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
    if (!TL_THREAD_START_FAILURE_POSSIBLE) GTEST_SKIP() << "not under a sanitizer";
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(visitWithoutRoomForThreads(), ::testing::ExitedWithCode(0), "");
}

} // namespace
