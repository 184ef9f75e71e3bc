#include "fusion/CompensationBands.hpp"

#include "align/MatchPatch.hpp"
#include "common/ElementType.hpp"
#include "fusion/PixelCopy.hpp"

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
void fillTile(const CompensationJob& job, cv::Mat& output, const Tile& tile, int dy, int dx) {
    const cv::Mat& exposure = job.pair.exposure;
    const size_t rowBytes = static_cast<size_t>(tile.right - tile.left + 1) * exposure.elemSize();
    for (int y = tile.top; y <= tile.bottom; ++y) {
        std::memcpy(output.ptr(y, tile.left), exposure.ptr(y, tile.left), rowBytes);
        if (dy == 0 && dx == 0) continue;
        const uint8_t* m = job.ghostMask.ptr<uint8_t>(y);
        for (int x = tile.left; x <= tile.right; ++x)
            if (m[x] != 0) copyPixel<T>(exposure, y + dy, x + dx, output, y, x);
    }
}

// The band of tiles centred on centreRow, left to right.
template <typename T>
void compensateBand(const CompensationJob& job, cv::Mat& output, int centreRow) {
    const BandLayout& layout = job.layout;
    const int half = layout.B / 2;
    const int matchRow = std::min(centreRow, layout.rows - 1);
    for (int centre = layout.firstCentre(); layout.tileInside(centre); centre += layout.B) {
        const Tile tile{centreRow - half, std::min(centreRow + half, layout.lastInteriorRow()),
                        centre - half, std::min(centre + half, layout.lastInteriorColumn())};
        int dy = 0, dx = 0;
        if (hasGhost(job.ghostMask, tile))
            matchPatch(matchRow, std::min(centre, layout.cols - 1), layout.h, job.searchRadius, dy, dx,
                       job.pair.instantMatching, job.pair.exposureMatching);
        fillTile<T>(job, output, tile, dy, dx);
    }
}

} // namespace

void compensateBands(const CompensationJob& job, int firstCentreRow, cv::Mat output, ProgressFile& progress) {
    const BandLayout& layout = job.layout;
    const ProgressPlan plan = progressPlan(layout, firstCentreRow, job.threads);
    // Any stride beyond the image ends the walk after the first band; clamping it keeps
    // huge thread counts from overflowing.
    const int stride = static_cast<int>(std::min<long long>(static_cast<long long>(job.threads) * layout.B, layout.rows));
    withElementType(job.pair.exposure.depth(), [&]<typename T>() {
        int n = 0;
        for (int centre = firstCentreRow; layout.bandInside(centre); centre += stride, ++n) {
            compensateBand<T>(job, output, centre);
            if (plan.addsAfter(n)) progress.addBandProgress(plan.step);
        }
    });
}
