#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace tl {

// The one way the programs run work in parallel: tasks started on threads of their own,
// joined together, the first exception of any of them carried back to the caller.
//
// Every thread a group starts is joined before the group goes, whichever way its owner's
// frame is left: a later step of the caller that throws (running out of memory, say)
// cannot leave a thread running against the frame it unwinds. A thread's place in the
// group is made before the thread starts, so that nothing remains to fail once it runs.
class TaskGroup {
public:
    using Task = std::function<void()>;

    TaskGroup() = default;
    ~TaskGroup();
    TaskGroup(const TaskGroup&) = delete;
    TaskGroup& operator=(const TaskGroup&) = delete;

    // Runs task on a thread of its own or, when no thread can be started (no thread or no
    // memory for its state), on the calling thread at once. Either way what it throws is
    // kept for wait().
    void run(const Task& task);

    // Starts task on a thread of its own. Returns false when none can be started: the
    // task has not run. For a task that waits for work that its caller hands it later,
    // which the caller could not run itself.
    bool start(const Task& task);

    // Waits until every task begun has ended, then throws the first exception that any of
    // them threw. The group may begin tasks again afterwards.
    void wait();

private:
    void runGuarded(const Task& task) noexcept;

    std::vector<std::thread> threads;
    std::mutex failureLock;
    std::exception_ptr firstFailure;
};

// Runs work(first, last) over [0, total) cut into contiguous slices, one per core and none
// shorter than minimumSlice, and returns when all are done. The calling thread takes the
// first slice, and any slice whose thread cannot be started. When a slice throws, the
// first exception is thrown again here, after every slice has ended.
void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work);

// The number of cores, at least 1.
int coreCount();

// The cap of every thread count a user asks for: the number of cores, and at least 1.
// More threads than cores buy no speed, only memory (each band worker of a merge keeps
// matcher buffers of up to 24 MiB), and tens of thousands of them would exhaust it; the
// compensation further starts no more band workers than there are rows of tiles.
int cappedThreadCount(int requested);

} // namespace tl
