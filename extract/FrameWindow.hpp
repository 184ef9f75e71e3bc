#pragma once

#include <cstdint>

namespace tl {

// The stretch of a video that one call extracts: frames first, first + 1, ...,
// first + count - 1, counted from 0 at the start of the stream.
struct FrameWindow {
    std::int64_t first = 0;
    std::int64_t count = 1;
};

// The window between startNumerator / denominator and endNumerator / denominator of a
// video of frameCount frames. The arithmetic is single-precision float, as the front
// end computes the same window: J = F / D, first = trunc(S * J) (at most F - 1, at
// least 0), count = trunc(E * J) - first (at least 1).
// Requires frameCount >= 1 and denominator != 0.
FrameWindow computeFrameWindow(std::int64_t frameCount, int startNumerator, int endNumerator,
                               int denominator);

// Truncates towards zero like a float-to-integer cast, but saturates at the int64
// range and maps NaN to 0 instead of being undefined outside it.
std::int64_t truncateToInt64(double value);

} // namespace tl
