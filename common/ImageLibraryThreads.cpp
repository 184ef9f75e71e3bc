#include "common/ImageLibraryThreads.hpp"

#include "common/TaskGroup.hpp"

#include <opencv2/core.hpp>
#include <opencv2/core/parallel/parallel_backend.hpp>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>

namespace tl {

namespace {

using Body = cv::parallel::ParallelForAPI::FN_parallel_for_body_cb_t;

// The place of the running thread among the participants of a region: 0 for the thread
// that entered it.
thread_local int participantIndex = 0;

// One parallel region: tasks numbered 0 to tasks - 1, handed out one at a time to whoever
// asks next. The first exception of a task is kept for the thread that entered the region.
struct Region {
    Region(int tasks, Body body, void* data, int helpersWanted)
        : tasks(tasks), body(body), data(data), helpersWanted(helpersWanted) {}

    const int tasks;
    const Body body;
    void* const data;
    const int helpersWanted;
    int helpersJoined = 0;
    std::atomic<int> next{0};
    std::mutex failureLock;
    std::exception_ptr failure;

    void work() {
        for (int task = next.fetch_add(1); task < tasks; task = next.fetch_add(1)) {
            try {
                body(task, task + 1, data);
            } catch (...) {
                const std::lock_guard<std::mutex> held(failureLock);
                if (!failure) failure = std::current_exception();
            }
        }
    }
};

// The helper threads, waiting between regions. One region at a time: OpenCV itself runs a
// region entered during another one on its caller.
class HelperPool {
public:
    explicit HelperPool(int helpers) : wanted(helpers) {}
    ~HelperPool() {
        {
            const std::lock_guard<std::mutex> held(lock);
            stopping = true;
        }
        wake.notify_all();
        helpers.wait();
    }

    // Runs region with up to region.helpersWanted helpers besides the calling thread.
    void run(Region& region) {
        startHelpersOnce();
        {
            const std::lock_guard<std::mutex> held(lock);
            current = &region;
            ++generation;
        }
        wake.notify_all();
        region.work();
        std::unique_lock<std::mutex> held(lock);
        finished.wait(held, [this] { return busy == 0; });
        current = nullptr;
    }

private:
    // A helper that cannot be started leaves its share to the others and the caller.
    void startHelpersOnce() {
        if (started) return;
        started = true;
        for (int index = 1; index <= wanted; ++index)
            if (!helpers.start([this, index] { serve(index); })) break;
    }

    void serve(int index) {
        participantIndex = index;
        std::unique_lock<std::mutex> held(lock);
        long seen = generation;
        for (;;) {
            wake.wait(held, [&] { return generation != seen || stopping; });
            if (stopping) return;
            seen = generation;
            Region* region = current;
            if (!region || region->helpersJoined >= region->helpersWanted) continue;
            ++region->helpersJoined;
            ++busy;
            held.unlock();
            region->work();
            held.lock();
            if (--busy == 0) finished.notify_all();
        }
    }

    const int wanted;
    bool started = false;  // by the threads that enter regions, one at a time
    TaskGroup helpers;
    std::mutex lock;
    std::condition_variable wake, finished;
    long generation = 0;
    Region* current = nullptr;
    int busy = 0;
    bool stopping = false;
};

class OwnThreadsBackend : public cv::parallel::ParallelForAPI {
public:
    OwnThreadsBackend() : pool(coreCount() - 1) {}

    void parallel_for(int tasks, Body body, void* data) override {
        const int helpers = std::min(threads.load(), tasks) - 1;
        // A forked child has none of the helpers, and may have inherited the pool's lock
        // held: it keeps off the pool altogether.
        if (helpers < 1 || ::getpid() != owner || !entering.try_lock()) {
            body(0, tasks, data);
            return;
        }
        const std::lock_guard<std::mutex> entered(entering, std::adopt_lock);
        Region region(tasks, body, data, helpers);
        pool.run(region);
        if (region.failure) std::rethrow_exception(region.failure);
    }

    int getThreadNum() const override { return participantIndex; }
    int getNumThreads() const override { return threads; }
    int setNumThreads(int count) override {
        return threads.exchange(std::clamp(count <= 0 ? 1 : count, 1, coreCount()));
    }
    const char* getName() const override { return "tessaline"; }

private:
    const pid_t owner = ::getpid();
    std::atomic<int> threads{coreCount()};
    std::mutex entering;
    HelperPool pool;
};

std::shared_ptr<OwnThreadsBackend>& installedBackend() {
    static std::shared_ptr<OwnThreadsBackend> backend;
    return backend;
}

} // namespace

void runImageLibraryOnOwnThreads() {
    if (installedBackend()) return;
    installedBackend() = std::make_shared<OwnThreadsBackend>();
    cv::parallel::setParallelForBackend(installedBackend(), false);
}

ImageLibraryHeldToCallers::ImageLibraryHeldToCallers()
    : previous(installedBackend() ? installedBackend()->setNumThreads(1) : 0) {}

ImageLibraryHeldToCallers::~ImageLibraryHeldToCallers() {
    if (installedBackend()) installedBackend()->setNumThreads(previous);
}

} // namespace tl
