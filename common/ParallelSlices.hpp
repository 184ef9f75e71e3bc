#pragma once

#include <cstddef>
#include <functional>

// Runs work(first, last) over [0, total) cut into contiguous slices, one per core and none
// shorter than minimumSlice, and returns when all are done. The calling thread takes the
// first slice, and any slice whose thread cannot be started. When a slice throws, the
// first exception is thrown again here, after every slice has ended.
void runInSlices(std::size_t total, std::size_t minimumSlice,
                 const std::function<void(std::size_t first, std::size_t last)>& work);

// The number of cores, at least 1.
int coreCount();

// A thread count asked for, held to the number of cores: more threads than cores buy no
// speed, only memory (each band worker of a merge keeps matcher buffers of up to 24 MiB),
// and tens of thousands of them would exhaust it. At least 1.
int cappedThreadCount(int requested);
