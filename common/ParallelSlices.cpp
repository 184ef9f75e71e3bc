#include "common/ParallelSlices.hpp"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work) {
    const std::size_t cores = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t slices = std::clamp<std::size_t>(total / std::max<std::size_t>(minimumSlice, 1), 1, cores);
    std::vector<std::thread> helpers;
    helpers.reserve(slices - 1);
    for (std::size_t s = 1; s < slices; ++s) {
        const std::size_t first = total * s / slices, last = total * (s + 1) / slices;
        // No thread (std::system_error) or no memory for its state: the slice is done
        // here. Nothing may leave this loop while a helper runs unjoined.
        try {
            helpers.emplace_back(work, first, last);
        } catch (const std::exception&) {
            work(first, last);
        }
    }
    work(0, total / slices);
    for (auto& helper : helpers) helper.join();
}
