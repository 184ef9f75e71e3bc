// Compiled once per instruction set by Highway's foreach_target; searchWindow picks the
// best one the processor has at run time.
//
// Most placements are ruled out without their full sum, by lower bounds of it. For any
// L values a, b, with sums S, and spreads V = sqrt(L * (sum of squares) - S^2),
//     L * sum (a - b)^2  >=  (Sa - Sb)^2 + (Va - Vb)^2
// (the difference splits into its mean and the rest, and the rest is at least the
// difference of the two norms about the means). Two bounds follow:
//  - the whole patch per channel, with one spread over all channels: a handful of terms
//    per placement, from box sums of the window;
//  - every patch row: a sum per channel and one spread over all channels, Q * (C + 1)
//    terms per placement from sliding row sums of the window, much tighter.
// Placements are taken in bands of rows. The whole-patch bound rules out blocks of
// placements before their row bounds are computed; the band's smallest row bound is
// summed exactly first, which sets a threshold close to the best; then every placement
// whose bound is under the threshold is summed a segment of rows at a time, and dropped
// as soon as what it has summed plus the bound of its remaining rows cannot win any more.
// Row bounds add the rows last to first, so that the bounds of the rows after each
// segment come out on the way, and stop early for blocks of placements whose rows
// bounded so far already rule all of them out.
#include "align/PatchSearch.hpp"

#include "align/WindowStatistics.hpp"
#include "common/ThreadScratch.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "align/PatchSearch.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

namespace tl {

#ifndef TL_PATCH_SEARCH_SHARED
#define TL_PATCH_SEARCH_SHARED
namespace patch_search {

// Per-thread buffers of one band, kept between calls so that searches do not allocate;
// searches that take their bands in turn share them.
struct Scratch {
    WindowStatistics statistics;          // a band's window rows, unless the search brings them
    std::vector<float> bounds;            // a band's placements' bounds, times Q
    std::vector<float> suffixes;          // the same for the rows from each segment on but the first
    std::vector<float> coarse;            // a band's placements' whole-patch bounds, times Q
    std::vector<float> blockBounds;       // a block row's blocks' least whole-patch bounds, times Q
};

// What a search keeps of its patch, per search.
struct PatchValues {
    std::vector<int16_t> patch;           // the patch's values, widened once for every sum
    std::vector<float> patchStats;        // the patch's row sums and spreads
    std::vector<double> patchBox;         // per channel: the patch's sum, sum of squares
};

// Grows v to hold at least n values; a buffer shared by searches of different widths
// keeps the largest size.
template <typename T> void holdAtLeast(std::vector<T>& v, size_t n) {
    if (v.size() < n) v.resize(n);
}

// The best placement so far, as a row-major index; ties keep the smaller index.
struct Best {
    long long score = std::numeric_limits<long long>::max();
    long long index = std::numeric_limits<long long>::max();

    // Whether a placement whose sum is at least total can still come out ahead.
    bool reachable(long long total, long long at) const { return total < score || (total == score && at <= index); }
    bool beatenBy(long long sum, long long at) const { return sum < score || (sum == score && at < index); }
};

// Rounding of the row bounds (times Q), which are summed in single precision. Row sums are
// exact; a spread (at most 255 * Q * sqrt(C) / 2) is rounded once from an exact double,
// so a squared spread difference is within 1.5 * C * 2^-24 * 255^2 * Q^2 of its exact
// value; every term then adds with one rounding, which the relative margin covers. Both
// margins allow for four times the error. The whole-patch bound is computed in single
// precision from exact sums and from spreads of Q^2 values rounded once: its spread term
// is within Q times a row term's error, at most a quarter of the absolute margin (which
// has Q * (C + 1) terms), and its few roundings are within the relative one.
struct BoundError {
    int side, channels, terms;
    double perTerm() const { return 6.0 * channels * std::ldexp(1.0, -24) * 255.0 * 255.0 * side * side; }
    double relative() const { return 4.0 * (terms + 2) * std::ldexp(1.0, -24); }

    // The least the exact value of a computed bound (times Q) can be.
    double lowest(float bound) const { return bound * (1.0 - relative()) - terms * perTerm(); }

    // The largest bound (times Q) that does not yet prove a placement worse than best.
    float threshold(const Best& best) const {
        if (best.score == std::numeric_limits<long long>::max()) return std::numeric_limits<float>::infinity();
        const double limit = static_cast<double>(best.score) * side * (1.0 + relative()) + terms * perTerm();
        const auto rounded = static_cast<float>(limit);
        return static_cast<double>(rounded) < limit ? std::nextafter(rounded, std::numeric_limits<float>::infinity())
                                                    : rounded;
    }
};

} // namespace patch_search
#endif

HWY_BEFORE_NAMESPACE();
namespace patch_search {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Squared differences of n values, in 16-bit differences whose squares add in pairs into
// the 32-bit lanes of sum0 and sum1 (which hold the sums of 16384 vectors); rows shorter
// than a vector add to the scalar sum.
using D16 = hn::ScalableTag<int16_t>;
using D32 = hn::Repartition<int32_t, D16>;
HWY_INLINE void addRowSsd(const int16_t* a, const uint8_t* b, size_t n, hn::Vec<D32>& sum0, hn::Vec<D32>& sum1,
                          int64_t& scalar) {
    const D16 d16;
    const D32 d32;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const size_t lanes = hn::Lanes(d16);
    if (n < lanes) {
        for (size_t k = 0; k < n; ++k) scalar += (a[k] - b[k]) * (a[k] - b[k]);
        return;
    }
    const auto difference = [&](size_t k) {
        return hn::Sub(hn::LoadU(d16, a + k), hn::PromoteTo(d16, hn::LoadU(d8, b + k)));
    };
    size_t k = 0;
    for (; k + lanes <= n; k += lanes) {
        const auto d = difference(k);
        sum0 = hn::ReorderWidenMulAccumulate(d32, d, d, sum0, sum1);
    }
    if (k < n) {
        // The last full vector ends at n; its first lanes were counted already.
        const size_t last = n - lanes;
        const auto d = hn::IfThenZeroElse(hn::FirstN(d16, k - last), difference(last));
        sum0 = hn::ReorderWidenMulAccumulate(d32, d, d, sum0, sum1);
    }
}

class WindowScan {
public:
    // Bands of rowsPerBand placement rows, or (0) as many as the scratch budget holds.
    WindowScan(const PatchSearch& s, Scratch& scratch, PatchValues& values, int rowsPerBand = 0)
        : s(s), scratch(scratch), values(values), rowBytes(static_cast<size_t>(s.side) * s.channels),
          placementRows(s.windowRows - s.side + 1), placementColumns(s.windowCols - s.side + 1),
          terms(s.side * (s.channels + 1)), stride(paddedStride()),
          bandRows(rowsPerBand > 0 ? std::min(rowsPerBand, placementRows) : bandHeight()),
          error{s.side, s.channels, terms} {
        // Whole vectors are computed from the last block's first column.
        holdAtLeast(scratch.coarse, static_cast<size_t>(bandRows) * stride + lanes());
        // A vector's reach past the last block.
        holdAtLeast(scratch.blockBounds, static_cast<size_t>(blockCount + lanes()));
        holdAtLeast(scratch.bounds, static_cast<size_t>(bandRows) * stride);
        holdAtLeast(scratch.suffixes, static_cast<size_t>(kSegments - 1) * bandRows * stride);
        for (int k = 0; k <= kSegments; ++k) segmentStart[k] = k * s.side / kSegments;
        patchStatistics();
        widenPatch();
        patchBoxStatistics();
    }

    // Sums a placement exactly, unless it is proved unable to beat the best so far. The
    // placement's bound (times Q; 0 for none) bounds all its rows; when it was bounded in
    // the current band (bounded), its suffix bounds bound the rows still to sum at the end
    // of every segment of rows.
    void consider(int row, int column, float bound, bool bounded) {
        const long long at = static_cast<long long>(row) * placementColumns + column;
        const uint8_t* w = s.window + static_cast<size_t>(row) * s.windowStep + static_cast<size_t>(column) * s.channels;
        // In units of the sum; the scale factor rounds the right way for a lower bound.
        const double down = (1.0 - std::ldexp(1.0, -40)) / s.side;
        const auto rest = [&](float b) { return static_cast<long long>(std::max(0.0, error.lowest(b) * down)); };
        if (!best.reachable(rest(bound), at)) return;
        const D32 d32;
        long long sum = 0;
        for (int k = 0; k < kSegments; ++k) {
            // The segment's squares add in 32-bit lanes, reduced once per segment.
            auto sum0 = hn::Zero(d32), sum1 = hn::Zero(d32);
            int64_t scalar = 0;
            for (int i = segmentStart[k]; i < segmentStart[k + 1]; ++i)
                addRowSsd(values.patch.data() + i * rowBytes, w + i * s.windowStep, rowBytes, sum0, sum1, scalar);
            sum += scalar + hn::GetLane(hn::SumOfLanes(d32, hn::Add(sum0, sum1)));
            if (k + 1 == kSegments) break;
            const long long remaining = bounded ? rest(suffix(k + 1, row - band)[column]) : 0;
            if (!best.reachable(sum + remaining, at)) return;
        }
        if (best.beatenBy(sum, at)) {
            best = Best{sum, at};
            threshold = error.threshold(best);
        }
    }

    // Bands of placement rows: their whole-patch bounds, the smallest of which is summed
    // exactly, then their row bounds where the whole-patch ones do not rule them out,
    // the smallest summed exactly (an early good score rules out the most), then the
    // others in order.
    void scan() {
        for (int first = 0; first < placementRows; first += bandRows) scanBand(first);
    }

    // The band of placement rows from first on (a multiple of bandRows).
    void scanBand(int first) {
        band = first;
        const int rows = std::min(bandRows, placementRows - band);
        useStatistics(rows);
        if (!coarseBand(rows)) return;  // the whole band is ruled out
        const auto [row, column] = boundBand(rows);
        const float least = bounds(row)[column];
        if (least == std::numeric_limits<float>::infinity()) return;  // the whole band is ruled out
        consider(band + row, column, least, true);
        sweepBand(rows);
    }

    int rowsPerBand() const { return bandRows; }
    int placementRowCount() const { return placementRows; }
    int placementColumnCount() const { return placementColumns; }
    bool found() const { return best.score != std::numeric_limits<long long>::max(); }

    Placement result() const {
        return Placement{static_cast<int>(best.index / placementColumns), static_cast<int>(best.index % placementColumns),
                         best.score};
    }

private:
    // Segments of patch rows: a placement's sum is checked against the best at the end of
    // each, with the bound of the rows after it.
    static constexpr int kSegments = 3;
    static constexpr int kBlocks = 2;  // vectors of placements bounded at once, to hide latency
    static constexpr int kRowsPerCheck = 4;  // rows bounded between checks against the threshold
    static constexpr size_t kBandBytes = size_t{4} << 20;  // scratch of one band
    using DF = hn::ScalableTag<float>;

    static int lanes() { return static_cast<int>(hn::Lanes(DF())); }
    int paddedStride() const {
        const int block = kBlocks * lanes();
        return (placementColumns + block - 1) / block * block;
    }
    // Placement rows per band: as many as kBandBytes hold with their bounds and, unless
    // the search brings them, their window rows' statistics.
    int bandHeight() const {
        const size_t statistics = s.statistics ? 0 : WindowStatistics::bytesPerPixel(s.channels);
        const size_t perRow = (statistics + (kSegments + 1) * sizeof(float)) * stride;
        const int fit = static_cast<int>(kBandBytes / perRow) - (s.statistics ? 0 : s.side - 1);
        return std::clamp(fit, 1, placementRows);
    }

    // The band's window rows' statistics: the search's, or computed for the band alone.
    void useStatistics(int rows) {
        boundedBlockRow = -1;  // the statistics' blocks are new
        if (s.statistics) {
            statistics = s.statistics;
            statisticsRow = s.statisticsRow + band;
            statisticsColumn = s.statisticsColumn;
            return;
        }
        scratch.statistics.compute(s.window + static_cast<size_t>(band) * s.windowStep, s.windowStep,
                                   rows + s.side - 1, s.windowCols, s.side, s.channels);
        statistics = &scratch.statistics;
        statisticsRow = statisticsColumn = 0;
    }
    // The sums of the band's window row i (0: the band's first) from the window's first
    // column, in one channel; channel C gives the spreads.
    const float* rowStats(int i, int channel) const {
        return statistics->rowStatistics(statisticsRow + i, channel) + statisticsColumn;
    }
    float* bounds(int row) { return scratch.bounds.data() + static_cast<size_t>(row) * stride; }
    // The bounds (times Q) of the rows from segment k (1 .. kSegments - 1) on.
    float* suffix(int k, int row) {
        return scratch.suffixes.data() + (static_cast<size_t>(k - 1) * bandRows + row) * stride;
    }
    float* coarse(int row) { return scratch.coarse.data() + static_cast<size_t>(row) * stride; }
    const float* coarse(int row) const { return scratch.coarse.data() + static_cast<size_t>(row) * stride; }

    // patchStats[i * (C + 1) + c]: sum of the patch's row i in channel c; [.. + C]: the row's spread.
    void patchStatistics() {
        values.patchStats.resize(static_cast<size_t>(terms));
        for (int i = 0; i < s.side; ++i) {
            double spreadSquare = 0;
            for (int c = 0; c < s.channels; ++c) {
                long long sum = 0, squares = 0;
                for (int k = 0; k < s.side; ++k) {
                    const int v = s.patch[i * s.patchStep + static_cast<size_t>(k) * s.channels + c];
                    sum += v;
                    squares += v * v;
                }
                values.patchStats[static_cast<size_t>(i) * (s.channels + 1) + c] = static_cast<float>(sum);
                spreadSquare += static_cast<double>(s.side * squares - sum * sum);
            }
            values.patchStats[static_cast<size_t>(i) * (s.channels + 1) + s.channels] = static_cast<float>(std::sqrt(spreadSquare));
        }
    }

    // patchBox[2c], [2c + 1]: the patch's sum and sum of squares in channel c.
    void patchBoxStatistics() {
        std::vector<double>& patchBox = values.patchBox;
        patchBox.assign(2 * static_cast<size_t>(s.channels), 0.0);
        double spreadSquare = 0;
        const double N = static_cast<double>(s.side) * s.side;
        for (int c = 0; c < s.channels; ++c) {
            for (int i = 0; i < s.side; ++i)
                for (int k = 0; k < s.side; ++k) {
                    const double v = s.patch[i * s.patchStep + static_cast<size_t>(k) * s.channels + c];
                    patchBox[2 * c] += v;
                    patchBox[2 * c + 1] += v * v;
                }
            spreadSquare += N * patchBox[2 * c + 1] - patchBox[2 * c] * patchBox[2 * c];
        }
        patchSpread = std::sqrt(spreadSquare);
    }

    void widenPatch() {
        values.patch.resize(static_cast<size_t>(s.side) * rowBytes);
        for (int i = 0; i < s.side; ++i)
            std::copy_n(s.patch + i * s.patchStep, rowBytes, values.patch.begin() + static_cast<ptrdiff_t>(i * rowBytes));
    }

    // Every placement's bound (times Q) in the band, +infinity past the last column;
    // returns the (band row, column) of the smallest.
    std::pair<int, int> boundBand(int rows) {
        const DF df;
        const auto infinity = hn::Set(df, std::numeric_limits<float>::infinity());
        auto smallest = infinity;
        for (int row = 0; row < rows; ++row) {
            // Term m of the row bounds (patch row i, channel c: m = i * (C + 1) + c) reads the
            // statistics m rows of them after the placement row's first.
            const float* stats = rowStats(row, 0);
            for (int column = 0; column < placementColumns; column += kBlocks * lanes()) {
                hn::Vec<DF> acc[kBlocks];
                if (coarselyRuledOut(row, column) || !boundBlocks(stats, row, column, acc))
                    for (auto& a : acc) a = infinity;
                for (int b = 0; b < kBlocks; ++b) {
                    const int first = column + b * lanes();
                    const auto valid = hn::FirstN(df, static_cast<size_t>(std::max(0, placementColumns - first)));
                    acc[b] = hn::IfThenElse(valid, acc[b], infinity);
                    hn::StoreU(acc[b], df, bounds(row) + first);
                    smallest = hn::Min(smallest, acc[b]);
                }
            }
        }
        return firstEqual(rows, hn::GetLane(hn::MinOfLanes(df, smallest)), [this](int r) { return bounds(r); });
    }

    // The whole-patch bound (times Q) of every placement of the row: per channel the
    // squared difference of the sums, and the squared difference of the spreads about
    // the channel means, all over N = Q^2 values:
    //     N * sum (a - b)^2  >=  sum over channels (Da - Db)^2 + (Va - Vb)^2.
    // The placements of a block of the statistics (kRangeRows x kRangeColumns) whose
    // least bound is over the threshold are not computed: +infinity rules them out all
    // the same, and their statistics are not read.
    void coarseBounds(int row) {
        const DF df;
        const auto perQ = hn::Set(df, 1.0f / static_cast<float>(s.side));
        const auto patchSpreadV = hn::Set(df, static_cast<float>(patchSpread));
        const float* spreads = statistics->boxSpreads(statisticsRow + row) + statisticsColumn;
        constexpr int kWidth = WindowStatistics::kRangeColumns;
        const int firstBlock = statisticsColumn / kWidth;
        const int blockRow = (statisticsRow + row) / WindowStatistics::kRangeRows;
        if (blockRow != boundedBlockRow) blockBounds(row, firstBlock);
        boundedBlockRow = blockRow;
        for (int block = firstBlock; block * kWidth < statisticsColumn + placementColumns; ++block) {
            const int begin = std::max(0, block * kWidth - statisticsColumn);
            const int end = std::min(placementColumns, (block + 1) * kWidth - statisticsColumn);
            if (scratch.blockBounds[static_cast<size_t>(block - firstBlock)] > threshold) {
                std::fill(coarse(row) + begin, coarse(row) + end, std::numeric_limits<float>::infinity());
                continue;
            }
            // The last vector may reach into the next block, which then writes its own values.
            for (int x = begin; x < end; x += lanes()) {
                auto mean = hn::Zero(df);
                for (int c = 0; c < s.channels; ++c) {
                    const float* sums = statistics->boxSums(statisticsRow + row, c) + statisticsColumn;
                    const auto d = hn::Sub(hn::Set(df, static_cast<float>(values.patchBox[2 * c])), hn::LoadU(df, sums + x));
                    mean = hn::MulAdd(d, d, mean);
                }
                const auto dSpread = hn::Sub(patchSpreadV, hn::LoadU(df, spreads + x));
                hn::StoreU(hn::Mul(hn::MulAdd(dSpread, dSpread, mean), perQ), df, coarse(row) + x);
            }
        }
    }

    // The least whole-patch bound (times Q) of every block of the row's block row from
    // firstBlock on, from the blocks' ranges of sums and spreads, in the same operations
    // as coarseBounds: differences no larger in magnitude give a result no larger.
    void blockBounds(int row, int firstBlock) {
        const DF df;
        const auto perQ = hn::Set(df, 1.0f / static_cast<float>(s.side));
        const auto zero = hn::Zero(df);
        const int rangeStride = statistics->rangeStride();
        const auto distance = [&](const float* ranges, int block, float value) {
            const auto v = hn::Set(df, value);
            const auto below = hn::Sub(hn::LoadU(df, ranges + block), v);
            const auto above = hn::Sub(v, hn::LoadU(df, ranges + rangeStride + block));
            return hn::Max(hn::Max(below, above), zero);
        };
        for (int k = 0; k < blockCount; k += lanes()) {
            auto mean = hn::Zero(df);
            for (int c = 0; c < s.channels; ++c) {
                const auto d = distance(statistics->boxRanges(statisticsRow + row, c), firstBlock + k,
                                        static_cast<float>(values.patchBox[2 * c]));
                mean = hn::MulAdd(d, d, mean);
            }
            const auto dSpread = distance(statistics->boxRanges(statisticsRow + row, s.channels), firstBlock + k,
                                          static_cast<float>(patchSpread));
            hn::StoreU(hn::Mul(hn::MulAdd(dSpread, dSpread, mean), perQ), df, scratch.blockBounds.data() + k);
        }
    }

    bool coarselyRuledOut(int row, int column) const {
        const DF df;
        const auto limit = hn::Set(df, threshold);
        for (int b = 0; b < kBlocks; ++b)
            if (!hn::AllFalse(df, hn::Le(hn::LoadU(df, coarse(row) + column + b * lanes()), limit))) return false;
        return true;
    }

    // Every placement's whole-patch bound (times Q) in the band, +infinity past the last
    // column; sums the one with the smallest exactly, as long as it can still win.
    // Returns whether any placement of the band can.
    bool coarseBand(int rows) {
        const DF df;
        auto smallest = hn::Set(df, std::numeric_limits<float>::infinity());
        for (int row = 0; row < rows; ++row) {
            coarseBounds(row);
            std::fill(coarse(row) + placementColumns, coarse(row) + stride, std::numeric_limits<float>::infinity());
            for (int column = 0; column < stride; column += lanes())
                smallest = hn::Min(smallest, hn::LoadU(df, coarse(row) + column));
        }
        const float least = hn::GetLane(hn::MinOfLanes(df, smallest));
        if (!(least <= threshold)) return false;
        const auto [row, column] = firstEqual(rows, least, [this](int r) { return coarse(r); });
        consider(band + row, column, 0.0f, false);
        return true;
    }

    // Bounds of kBlocks vectors of placements from column on, the mean and spread
    // parts in separate sums to keep more of them in flight. The rows are summed last to
    // first: the sums at the start of each segment are the suffix bounds.
    bool boundBlocks(const float* stats, int row, int column, hn::Vec<DF>* out) {
        const DF df;
        const size_t pitch = static_cast<size_t>(statistics->paddedColumns());
        // Local sums: the suffix stores cannot alias them.
        hn::Vec<DF> acc[kBlocks], spreadAcc[kBlocks];
        for (int b = 0; b < kBlocks; ++b) acc[b] = spreadAcc[b] = hn::Zero(df);
        int k = kSegments - 1;
        for (int i = s.side - 1; i >= 0; --i) {
            const int first = i * (s.channels + 1), end = first + s.channels + 1;
            int m = first;
            for (; m + 1 < end; m += 2) {
                const auto patch0 = hn::Set(df, values.patchStats[static_cast<size_t>(m)]);
                const auto patch1 = hn::Set(df, values.patchStats[static_cast<size_t>(m) + 1]);
                for (int b = 0; b < kBlocks; ++b) {
                    const auto d0 = hn::Sub(patch0, hn::LoadU(df, stats + m * pitch + column + b * lanes()));
                    const auto d1 = hn::Sub(patch1, hn::LoadU(df, stats + (m + 1) * pitch + column + b * lanes()));
                    acc[b] = hn::MulAdd(d0, d0, acc[b]);
                    spreadAcc[b] = hn::MulAdd(d1, d1, spreadAcc[b]);
                }
            }
            if (m < end) {
                const auto patch0 = hn::Set(df, values.patchStats[static_cast<size_t>(m)]);
                for (int b = 0; b < kBlocks; ++b) {
                    const auto d0 = hn::Sub(patch0, hn::LoadU(df, stats + m * pitch + column + b * lanes()));
                    acc[b] = hn::MulAdd(d0, d0, acc[b]);
                }
            }
            while (k > 0 && i == segmentStart[k]) {
                for (int b = 0; b < kBlocks; ++b)
                    hn::StoreU(hn::Add(acc[b], spreadAcc[b]), df, suffix(k, row) + column + b * lanes());
                --k;
            }
            if ((s.side - i) % kRowsPerCheck == 0 && aboveThreshold(acc, spreadAcc)) return false;
        }
        for (int b = 0; b < kBlocks; ++b) out[b] = hn::Add(acc[b], spreadAcc[b]);
        return true;
    }

    // Whether the bounds of some rows (their two parts) already rule out every placement.
    bool aboveThreshold(const hn::Vec<DF>* acc, const hn::Vec<DF>* spreadAcc) const {
        const DF df;
        const auto limit = hn::Set(df, threshold);
        for (int b = 0; b < kBlocks; ++b)
            if (!hn::AllFalse(df, hn::Le(hn::Add(acc[b], spreadAcc[b]), limit))) return false;
        return true;
    }

    // The first (band row, column) whose value in values(row) equals value.
    template <typename Values> std::pair<int, int> firstEqual(int rows, float value, Values values) {
        const DF df;
        const auto wanted = hn::Set(df, value);
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < placementColumns; column += lanes()) {
                const intptr_t lane = hn::FindFirstTrue(df, hn::Eq(hn::LoadU(df, values(row) + column), wanted));
                if (lane >= 0) return {row, column + static_cast<int>(lane)};
            }
        return {0, 0};
    }

    // The placements whose bound does not rule them out, summed in row-major order.
    void sweepBand(int rows) {
        const DF df;
        const int n = lanes();
        for (int row = 0; row < rows; ++row) {
            const float* b = bounds(row);
            for (int column = 0; column < placementColumns; column += n) {
                if (hn::AllFalse(df, hn::Le(hn::LoadU(df, b + column), hn::Set(df, threshold)))) continue;
                for (int lane = 0; lane < n && column + lane < placementColumns; ++lane)
                    if (b[column + lane] <= threshold) consider(band + row, column + lane, b[column + lane], true);
            }
        }
    }

    const PatchSearch& s;
    Scratch& scratch;
    PatchValues& values;
    const WindowStatistics* statistics = nullptr;  // the current band's
    int statisticsRow = 0, statisticsColumn = 0;     // the band's first window row and column in them
    const size_t rowBytes;
    const int placementRows, placementColumns;
    const int terms;     // the row bound's terms per placement: Q * (C + 1)
    const int stride;    // floats per row of statistics or bounds, padded to whole blocks
    const int bandRows;  // placement rows per band
    // The blocks of statistics a window row spans from its first one.
    const int blockCount = placementColumns / WindowStatistics::kRangeColumns + 2;
    const BoundError error;
    int band = 0;  // first placement row of the current band
    int boundedBlockRow = -1;  // the statistics' block row whose blockBounds are held
    int segmentStart[kSegments + 1];  // each segment's first patch row; then side
    double patchSpread = 0;  // the whole patch's spread over all channels
    Best best;
    float threshold = std::numeric_limits<float>::infinity();
};

Placement SearchWindow(const PatchSearch& search, std::span<const Placement> candidates, Scratch& scratch,
                       PatchValues& values) {
    WindowScan scan(search, scratch, values);
    for (const Placement& c : candidates) scan.consider(c.row, c.column, 0.0f, false);
    scan.scan();
    return scan.result();
}

// Placement rows per band when searches take their bands in turn: the statistics of a
// band's rows (and the band's bounds, whose buffers the searches share) stay in cache
// for the next search.
constexpr int kGroupBandRows = 16;

// The best placement so far of one search, at the same displacement in the next one,
// unless it lies outside that one's window or was tried already.
void handOn(const WindowScan& from, const Placement& fromHome, WindowScan& to, const Placement& toHome,
            long long& tried) {
    if (!from.found()) return;
    const Placement p = from.result();
    const int row = p.row - fromHome.row + toHome.row, column = p.column - fromHome.column + toHome.column;
    if (row < 0 || column < 0 || row >= to.placementRowCount() || column >= to.placementColumnCount()) return;
    const long long at = static_cast<long long>(row) * to.placementColumnCount() + column;
    if (at == tried) return;
    tried = at;
    to.consider(row, column, 0.0f, false);
}

void SearchWindows(std::span<const PatchSearch> searches, std::span<const std::span<const Placement>> candidates,
                   std::span<const Placement> homes, std::span<Placement> results, Scratch& scratch,
                   std::span<PatchValues> values) {
    std::vector<WindowScan> scans;
    scans.reserve(searches.size());
    for (size_t j = 0; j < searches.size(); ++j) {
        scans.emplace_back(searches[j], scratch, values[j], kGroupBandRows);
        for (const Placement& c : candidates[j]) scans[j].consider(c.row, c.column, 0.0f, false);
    }
    std::vector<long long> tried(searches.size(), -1);
    const int rows = scans[0].placementRowCount(), bandRows = scans[0].rowsPerBand();
    for (int first = 0; first < rows; first += bandRows)
        for (size_t j = 0; j < scans.size(); ++j) {
            if (j > 0) handOn(scans[j - 1], homes[j - 1], scans[j], homes[j], tried[j]);
            scans[j].scanBand(first);
        }
    for (size_t j = 0; j < scans.size(); ++j) results[j] = scans[j].result();
}

} // namespace HWY_NAMESPACE
} // namespace patch_search
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace patch_search {
HWY_EXPORT(SearchWindow);
HWY_EXPORT(SearchWindows);

// Each thread's working memory for one search, and for a group of searches.
struct WindowScratch {
    Scratch scratch;
    PatchValues values;
};
struct GroupScratch {
    Scratch scratch;
    std::vector<PatchValues> values;
};

Placement dispatch(const PatchSearch& search, std::span<const Placement> candidates) {
    WindowScratch& mine = threadScratch<WindowScratch>();
    return HWY_DYNAMIC_DISPATCH(SearchWindow)(search, candidates, mine.scratch, mine.values);
}

void dispatchGroup(std::span<const PatchSearch> searches, std::span<const std::span<const Placement>> candidates,
                   std::span<const Placement> homes, std::span<Placement> results) {
    GroupScratch& mine = threadScratch<GroupScratch>();
    holdAtLeast(mine.values, searches.size());
    HWY_DYNAMIC_DISPATCH(SearchWindows)(searches, candidates, homes, results, mine.scratch, mine.values);
}
} // namespace patch_search

Placement searchWindow(const PatchSearch& search, std::span<const Placement> candidates) {
    return patch_search::dispatch(search, candidates);
}

void searchWindows(std::span<const PatchSearch> searches, std::span<const std::span<const Placement>> candidates,
                   std::span<const Placement> homes, std::span<Placement> results) {
    if (!searches.empty()) patch_search::dispatchGroup(searches, candidates, homes, results);
}
#endif

} // namespace tl
