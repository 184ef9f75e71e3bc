#include "extract/FrameWindow.hpp"

#include <cmath>
#include <limits>

namespace tl {

std::int64_t truncateToInt64(double value) {
    constexpr double limit = 0x1p63;  // 2^63, the first double outside int64
    if (std::isnan(value)) return 0;
    if (value >= limit) return std::numeric_limits<std::int64_t>::max();
    if (value < -limit) return std::numeric_limits<std::int64_t>::min();
    return static_cast<std::int64_t>(value);
}

FrameWindow computeFrameWindow(std::int64_t frameCount, int startNumerator, int endNumerator,
                               int denominator) {
    // Every product is rounded to float before it is truncated: the window must fall
    // on exactly the frames that the single-precision arithmetic picks.
    const float framesPerUnit = static_cast<float>(frameCount) / static_cast<float>(denominator);
    const float start = static_cast<float>(startNumerator) * framesPerUnit;
    const float end = static_cast<float>(endNumerator) * framesPerUnit;

    FrameWindow w;
    w.first = truncateToInt64(start);
    if (w.first >= frameCount) w.first = frameCount - 1;
    if (w.first < 0) w.first = 0;  // a window starting before the video starts at its first frame
    const std::int64_t last = truncateToInt64(end);
    w.count = last > w.first ? last - w.first : 1;
    return w;
}

} // namespace tl
