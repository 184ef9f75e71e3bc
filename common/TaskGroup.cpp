#include "common/TaskGroup.hpp"

#include <algorithm>
#include <utility>

namespace tl {

TaskGroup::~TaskGroup() {
    for (std::thread& thread : threads)
        if (thread.joinable()) thread.join();
}

void TaskGroup::run(const Task& task) {
    if (!start(task)) runGuarded(task);
}

bool TaskGroup::start(const Task& task) {
    try {
        threads.emplace_back();
    } catch (const std::exception&) {
        return false;
    }
    try {
        // The thread gets a copy of the task: when it cannot start, the caller's is intact.
        threads.back() = std::thread([this, task] { runGuarded(task); });
    } catch (const std::exception&) {
        threads.pop_back();
        return false;
    }
    return true;
}

void TaskGroup::wait() {
    for (std::thread& thread : threads) thread.join();
    threads.clear();
    std::exception_ptr failure;
    {
        const std::lock_guard<std::mutex> held(failureLock);
        failure = std::exchange(firstFailure, nullptr);
    }
    if (failure) std::rethrow_exception(failure);
}

void TaskGroup::runGuarded(const Task& task) noexcept {
    try {
        task();
    } catch (...) {
        const std::lock_guard<std::mutex> held(failureLock);
        if (!firstFailure) firstFailure = std::current_exception();
    }
}

void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work) {
    const auto cores = static_cast<std::size_t>(coreCount());
    const std::size_t slices = std::clamp<std::size_t>(total / std::max<std::size_t>(minimumSlice, 1), 1, cores);
    TaskGroup helpers;
    for (std::size_t s = 1; s < slices; ++s)
        helpers.run([&work, total, slices, s] { work(total * s / slices, total * (s + 1) / slices); });
    work(0, total / slices);
    helpers.wait();
}

int coreCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

int cappedThreadCount(int requested) { return std::clamp(requested, 1, coreCount()); }

} // namespace tl
