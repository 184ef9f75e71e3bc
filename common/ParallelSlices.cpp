#include "common/ParallelSlices.hpp"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work) {
    const auto cores = static_cast<std::size_t>(coreCount());
    const std::size_t slices = std::clamp<std::size_t>(total / std::max<std::size_t>(minimumSlice, 1), 1, cores);
    // What a slice threw, handed back to the caller once every thread has been joined:
    // an exception must neither end the process on a helper thread nor leave a helper
    // running unjoined.
    std::vector<std::exception_ptr> failures(slices);
    const auto slice = [&](std::size_t s) {
        try {
            work(total * s / slices, total * (s + 1) / slices);
        } catch (...) {
            failures[s] = std::current_exception();
        }
    };
    std::vector<std::thread> helpers;
    helpers.reserve(slices - 1);
    for (std::size_t s = 1; s < slices; ++s) {
        // No thread (std::system_error) or no memory for its state: the slice is done here.
        try {
            helpers.emplace_back(slice, s);
        } catch (const std::exception&) {
            slice(s);
        }
    }
    slice(0);
    for (auto& helper : helpers) helper.join();
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
}

int coreCount() { return static_cast<int>(std::max(1u, std::thread::hardware_concurrency())); }

int cappedThreadCount(int requested) { return std::clamp(requested, 1, coreCount()); }
