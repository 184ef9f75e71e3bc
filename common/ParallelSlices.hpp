#pragma once

#include <cstddef>
#include <functional>

// Runs work(first, last) over [0, total) cut into contiguous slices, one per core and none
// shorter than minimumSlice, and returns when all are done. The calling thread takes the
// first slice, and any slice whose thread cannot be started. When a slice throws, the
// first exception is thrown again here, after every slice has ended.
void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work);
