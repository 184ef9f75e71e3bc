#include "common/ImageLibraryThreads.hpp"
#include "tests/support/ChildExit.hpp"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <set>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace tl;

namespace {

// Every index of a region, with how often it was visited and by which threads.
struct Visits : cv::ParallelLoopBody {
    explicit Visits(int count) : counts(static_cast<std::size_t>(count)) {}
    void operator()(const cv::Range& range) const override {
        for (int i = range.start; i < range.end; ++i) {
            counts[static_cast<std::size_t>(i)].fetch_add(1);
            volatile double busy = 0;
            for (int k = 0; k < 2000; ++k) busy = busy + k;
        }
        const std::lock_guard<std::mutex> held(lock);
        threads.insert(std::this_thread::get_id());
    }
    bool eachOnce() const {
        for (const auto& count : counts)
            if (count != 1) return false;
        return true;
    }
    mutable std::vector<std::atomic<int>> counts;
    mutable std::mutex lock;
    mutable std::set<std::thread::id> threads;
};

class ImageLibraryThreads : public ::testing::Test {
protected:
    void SetUp() override { runImageLibraryOnOwnThreads(); }
};

TEST_F(ImageLibraryThreads, RegionsVisitEveryIndexOnceOnSeveralThreads) {
    for (int region = 0; region < 50; ++region) {
        Visits visits(997);
        cv::parallel_for_(cv::Range(0, 997), visits);
        ASSERT_TRUE(visits.eachOnce()) << "region " << region;
        if (std::thread::hardware_concurrency() > 1 && region == 49) {
            EXPECT_GT(visits.threads.size(), 1u);
        }
    }
    EXPECT_EQ(cv::getNumThreads(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// A task's exception reaches the thread that entered the region, which stays usable.
TEST_F(ImageLibraryThreads, TaskFailureReachesTheCallerAndTheNextRegionRuns) {
    struct Failing : cv::ParallelLoopBody {
        void operator()(const cv::Range& range) const override {
            if (range.start <= 500 && 500 < range.end) throw std::runtime_error("task 500");
        }
    };
    EXPECT_ANY_THROW(cv::parallel_for_(cv::Range(0, 1000), Failing()));
    Visits visits(1000);
    cv::parallel_for_(cv::Range(0, 1000), visits);
    EXPECT_TRUE(visits.eachOnce());
}

TEST_F(ImageLibraryThreads, HeldRegionsRunOnTheirCallers) {
    {
        const ImageLibraryHeldToCallers held;
        EXPECT_EQ(cv::getNumThreads(), 1);
        Visits visits(997);
        cv::parallel_for_(cv::Range(0, 997), visits);
        EXPECT_TRUE(visits.eachOnce());
        EXPECT_EQ(visits.threads, std::set<std::thread::id>{std::this_thread::get_id()});
    }
    EXPECT_EQ(cv::getNumThreads(), static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
}

// Without room for a thread, regions are done by their caller, one after another: none
// waits for a thread that never started.
void regionsWithoutRoomForThreads() {
    runImageLibraryOnOwnThreads();
    if (!preventThreadStarts()) std::_Exit(2);
    for (int region = 0; region < 3; ++region) {
        Visits visits(4096);
        cv::parallel_for_(cv::Range(0, 4096), visits);
        if (!visits.eachOnce()) std::_Exit(3);
    }
    std::_Exit(0);
}

TEST(ImageLibraryThreadsFallback, RegionsWithoutRoomForThreadsAreDoneByTheCaller) {
    TL_EXPECT_CHILD_WITHOUT_THREADS_EXITS_CLEANLY(regionsWithoutRoomForThreads());
}

// A forked child inherits none of the helper threads: its regions run on its own thread.
TEST_F(ImageLibraryThreads, ForkedChildRunsItsRegionsItself) {
    Visits warmUp(997);
    cv::parallel_for_(cv::Range(0, 997), warmUp);  // the helpers are running now
    const pid_t child = fork();
    if (child == 0) {
        alarm(10);
        Visits visits(997);
        cv::parallel_for_(cv::Range(0, 997), visits);
        _exit(visits.eachOnce() ? 0 : 3);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

} // namespace
