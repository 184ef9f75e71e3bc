#include "fusion/GhostThresholds.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

ThresholdTableShape thresholdTableShape(int depth, float maxElement) {
    if (depth == CV_8U) return {256, 255.0f};
    if (depth == CV_16U) return {65536, 65535.0f};
    // Float images: one entry per whole instant value from 0 to the largest one. Negative,
    // non-finite and huge maxima still give a table of 1 to 65536 entries.
    int length = maxThresholdTableLength;
    if (!(maxElement >= 0)) length = 1;
    else if (maxElement < static_cast<float>(maxThresholdTableLength - 1))
        length = static_cast<int>(maxElement) + 1;
    return {length, maxElement};
}

void fillThresholdTable(float* table, int length, float p, float scale) {
    if (!(p > 0)) {
        std::fill(table, table + length, 0.0f);
        return;
    }
    // Single precision throughout, step by step, so that every build agrees on the
    // borderline differences.
    const float lowest = p / 100.0f;
    const float step = (lowest - (lowest + 0.035f)) / scale;
    table[0] = lowest;
    for (int i = 1; i < length; ++i) table[i] = table[i - 1] - step;
}

} // namespace tl
