#include "align/MatchPatch.hpp"
#include "fusion/CompensationLayout.hpp"
#include "fusion/PixelCopy.hpp"
#include "fusion/Progress.hpp"
#include "merge/MergeEngine.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

struct Tile {
    int top, bottom, left, right;  // inclusive
};

bool hasGhost(const cv::Mat& mask, const Tile& tile) {
    for (int y = tile.top; y <= tile.bottom; ++y) {
        const uint8_t* m = mask.ptr<uint8_t>(y);
        if (std::any_of(m + tile.left, m + tile.right + 1, [](uint8_t v) { return v != 0; })) return true;
    }
    return false;
}

// One tile: ghost pixels come from the exposure displaced by (dy, dx), the others from
// the exposure at their own place.
template <typename T>
void fillTile(MergeEngine& e, const Tile& tile, int dy, int dx) {
    const size_t rowBytes = static_cast<size_t>(tile.right - tile.left + 1) * e.exposure.elemSize();
    for (int y = tile.top; y <= tile.bottom; ++y) {
        std::memcpy(e.output->ptr(y, tile.left), e.exposure.ptr(y, tile.left), rowBytes);
        if (dy == 0 && dx == 0) continue;
        const uint8_t* m = e.ghostMask.ptr<uint8_t>(y);
        for (int x = tile.left; x <= tile.right; ++x)
            if (m[x] != 0) copyPixel<T>(e.exposure, y + dy, x + dx, *e.output, y, x);
    }
}

template <typename T>
void compensateBand(MergeEngine& e, const BandLayout& layout, int centreRow) {
    const int half = layout.B / 2;
    const int matchRow = std::min(centreRow, e.rows - 1);
    for (int centre = layout.firstCentre(); layout.tileInside(centre); centre += layout.B) {
        const Tile tile{centreRow - half, std::min(centreRow + half, layout.lastInteriorRow()),
                        centre - half, std::min(centre + half, layout.lastInteriorColumn())};
        int dy = 0, dx = 0;
        if (hasGhost(e.ghostMask, tile))
            matchPatch(matchRow, std::min(centre, e.cols - 1), e.patchHalfSize, e.searchRadius, dy, dx,
                       e.instantMatching, e.exposureMatching);
        fillTile<T>(e, tile, dy, dx);
    }
}

template <typename T> void compensateBandsOf(MergeEngine& e, int firstCentreRow) {
    const BandLayout layout{e.rows, e.cols, e.patchHalfSize, e.tileSize};
    const ProgressPlan plan = progressPlan(layout, firstCentreRow, e.threadCount);
    // Any stride beyond the image ends the walk after the first band; clamping it keeps
    // huge thread counts from overflowing.
    const int stride = static_cast<int>(std::min<long long>(static_cast<long long>(e.threadCount) * e.tileSize, e.rows));
    int n = 0;
    for (int centre = firstCentreRow; layout.bandInside(centre); centre += stride, ++n) {
        compensateBand<T>(e, layout, centre);
        if (plan.addsAfter(n)) addBandProgress(e, plan.step);
    }
}

} // namespace

void MergeEngine::compensateBands(int firstCentreRow) {
    switch (exposure.depth()) {
    case CV_8U:
        compensateBandsOf<uint8_t>(*this, firstCentreRow);
        break;
    case CV_16U:
        compensateBandsOf<uint16_t>(*this, firstCentreRow);
        break;
    case CV_32F:
        compensateBandsOf<float>(*this, firstCentreRow);
        break;
    default:
        break;
    }
}
