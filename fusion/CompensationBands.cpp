#include "fusion/CompensationBands.hpp"

#include "align/RowMatcher.hpp"
#include "common/ElementType.hpp"
#include "fusion/PixelCopy.hpp"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

namespace tl {

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

// The band of tiles centred on centreRow, left to right; the tiles holding a ghost pixel
// are matched together first. Each tile is matched at its own centre, also when that
// lies beyond the image (the last band and tile of a large tile size): the search window
// is the one around that centre.
template <typename T>
long long compensateBand(const CompensationJob& job, RowMatcher& matcher, cv::Mat& output, long long centreRow) {
    const BandLayout& layout = job.layout;
    const int half = layout.B / 2;
    std::vector<Tile> tiles;
    std::vector<bool> ghostly;
    std::vector<int> ghostCentres;
    for (long long centre = layout.firstCentre(); layout.tileInside(centre); centre += layout.B) {
        tiles.push_back(Tile{static_cast<int>(centreRow - half),
                             static_cast<int>(std::min<long long>(centreRow + half, layout.lastInteriorRow())),
                             static_cast<int>(centre - half),
                             static_cast<int>(std::min<long long>(centre + half, layout.lastInteriorColumn()))});
        // A tile inside the image has its centre within half a tile of it: an int.
        ghostly.push_back(hasGhost(job.ghostMask, tiles.back()));
        if (ghostly.back()) ghostCentres.push_back(static_cast<int>(centre));
    }
    const std::vector<PatchMatch> matches = matcher.matchRow(static_cast<int>(centreRow), ghostCentres);
    size_t next = 0;
    for (size_t k = 0; k < tiles.size(); ++k) {
        const PatchMatch m = ghostly[k] ? matches[next++] : PatchMatch{};
        fillTile<T>(job, output, tiles[k], m.dy, m.dx);
    }
    return static_cast<long long>(ghostCentres.size());
}

} // namespace

long long compensateBands(const CompensationJob& job, long long firstCentreRow, cv::Mat output,
                          ProgressFile& progress) {
    const ProgressPlan plan = progressPlan(job.layout, firstCentreRow, job.threads);
    const std::vector<long long> bands = job.layout.bandsOfWorker(firstCentreRow, job.threads);
    RowMatcher matcher(job.pair.instantMatching, job.pair.exposureMatching, job.layout.h, job.searchRadius);
    long long matched = 0;
    withElementType(job.pair.exposure.depth(), [&]<typename T>() {
        for (std::size_t n = 0; n < bands.size(); ++n) {
            matched += compensateBand<T>(job, matcher, output, bands[n]);
            if (plan.addsAfter(static_cast<int>(n))) progress.addBandProgress(plan.step);
        }
    });
    return matched;
}

void addProgressOfBands(const BandLayout& layout, int threads, ProgressFile& progress) {
    struct Worker {
        ProgressPlan plan;
        std::size_t bands;
    };
    std::vector<Worker> workers;
    std::size_t longest = 0;
    for (long long first : layout.workerFirstCentres(threads)) {
        workers.push_back({progressPlan(layout, first, threads), layout.bandsOfWorker(first, threads).size()});
        longest = std::max(longest, workers.back().bands);
    }
    for (std::size_t n = 0; n < longest; ++n)
        for (const Worker& worker : workers)
            if (n < worker.bands && worker.plan.addsAfter(static_cast<int>(n))) progress.addBandProgress(worker.plan.step);
}

} // namespace tl
