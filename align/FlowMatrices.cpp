#include "align/FlowMatrices.hpp"

#include <algorithm>

SampledRows sampledRows(const float* flow, int y, int width, int height) {
    SampledRows rows{height, -1};
    for (int x = 0; x < width; x++) {
        const float fx = x + flow[x * 2], fy = y + flow[x * 2 + 1];
        const int x1 = cvFloor(fx), y1 = cvFloor(fy);
        if ((unsigned)x1 < (unsigned)(width - 1) && (unsigned)y1 < (unsigned)(height - 1)) {
            rows.lowest = std::min(rows.lowest, y1);
            rows.highest = std::max(rows.highest, y1 + 1);
        }
    }
    return rows;
}
