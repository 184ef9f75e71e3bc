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
// whose bound is under the threshold is summed row by row, and dropped as soon as what it
// has summed plus the bound of its remaining rows cannot win any more.
#include "align/PatchSearch.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "align/PatchSearch.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

#ifndef TL_PATCH_SEARCH_SHARED
#define TL_PATCH_SEARCH_SHARED
namespace patch_search {

// Per-thread buffers, kept between calls so that searches do not allocate.
struct Scratch {
    std::vector<float> rowStats;          // a band's window rows: sums and spreads at every column
    std::vector<float> bounds;            // a band's placements' bounds, times Q
    std::vector<int16_t> patch;           // the patch's values, widened once for every sum
    std::vector<float> patchStats;        // the patch's row sums and spreads
    std::vector<const float*> statRows;   // a placement row's window row statistics
    std::vector<double> spreadSquares;    // one window row's spreads squared, summed over channels
    std::vector<uint32_t> rowSquares;     // a band's window rows: sums of squares at every column
    std::vector<double> box;              // one placement row: whole-patch sums, sums of squares
    std::vector<float> coarse;            // one placement row: whole-patch bounds
    std::vector<double> patchBox;         // per channel: the patch's sum, sum of squares
    std::vector<uint32_t> prefixes;       // one channel of a window row: sums, squares from its start
};

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
// margins allow for four times the error. The whole-patch bound is computed in double
// precision from exact sums and rounded once; the same margins cover it.
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

// Sum of squared differences of n values, in 16-bit differences whose squares add in
// pairs into 32-bit lanes (which hold rows of up to 16384 vectors).
HWY_INLINE int64_t rowSsd(const int16_t* a, const uint8_t* b, size_t n) {
    const hn::ScalableTag<int16_t> d16;
    const hn::Rebind<uint8_t, decltype(d16)> d8;
    const hn::Repartition<int32_t, decltype(d16)> d32;
    const size_t lanes = hn::Lanes(d16);
    if (n < lanes) {
        int64_t sum = 0;
        for (size_t k = 0; k < n; ++k) sum += (a[k] - b[k]) * (a[k] - b[k]);
        return sum;
    }
    const auto difference = [&](size_t k) {
        return hn::Sub(hn::LoadU(d16, a + k), hn::PromoteTo(d16, hn::LoadU(d8, b + k)));
    };
    auto sum0 = hn::Zero(d32), sum1 = hn::Zero(d32);
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
    return hn::GetLane(hn::SumOfLanes(d32, hn::Add(sum0, sum1)));
}

class WindowScan {
public:
    WindowScan(const PatchSearch& s, Scratch& scratch)
        : s(s), scratch(scratch), rowBytes(static_cast<size_t>(s.side) * s.channels),
          placementRows(s.windowRows - s.side + 1), placementColumns(s.windowCols - s.side + 1),
          terms(s.side * (s.channels + 1)), stride(paddedStride()), bandRows(bandHeight()),
          error{s.side, s.channels, terms} {
        scratch.rowStats.resize(static_cast<size_t>(bandRows + s.side - 1) * (s.channels + 1) * stride);
        scratch.spreadSquares.resize(static_cast<size_t>(stride));
        scratch.rowSquares.resize(static_cast<size_t>(bandRows + s.side - 1) * s.channels * stride);
        scratch.box.resize(2 * static_cast<size_t>(s.channels) * stride);
        scratch.coarse.resize(static_cast<size_t>(stride));
        scratch.bounds.resize(static_cast<size_t>(bandRows) * stride);
        scratch.statRows.resize(static_cast<size_t>(terms));
        scratch.prefixes.resize(2 * static_cast<size_t>(s.channels) * prefixLength());
        patchStatistics();
        widenPatch();
        patchBoxStatistics();
    }

    // Sums a placement exactly, unless it is proved unable to beat the best so far. The
    // rows still to sum are bounded by the placement's row bound (times Q; 0 for none)
    // less the terms of the rows summed so far.
    void consider(int row, int column, float bound) {
        const long long at = static_cast<long long>(row) * placementColumns + column;
        const uint8_t* w = s.window + static_cast<size_t>(row) * s.windowStep + static_cast<size_t>(column) * s.channels;
        // In units of the sum; the scale factors round the right way for a lower bound.
        const double down = (1.0 - std::ldexp(1.0, -40)) / s.side, up = (1.0 + std::ldexp(1.0, -40)) / s.side;
        double rest = error.lowest(bound) * down;
        long long sum = 0;
        for (int i = 0; i < s.side; ++i) {
            if (!best.reachable(sum + static_cast<long long>(std::max(0.0, rest)), at)) return;
            sum += rowSsd(scratch.patch.data() + i * rowBytes, w + i * s.windowStep, rowBytes);
            if (rest > 0) rest -= rowTerms(i, row - band + i, column) * up;
        }
        if (best.beatenBy(sum, at)) {
            best = Best{sum, at};
            threshold = error.threshold(best);
        }
    }

    // Bands of placement rows: their bounds, then the band's smallest bound summed
    // exactly (an early good score rules out the most), then the others in order.
    void scan() {
        for (band = 0; band < placementRows; band += bandRows) {
            const int rows = std::min(bandRows, placementRows - band);
            for (int i = 0; i < rows + s.side - 1; ++i) windowRowStatistics(i);
            const auto [row, column] = boundBand(rows);
            const float least = bounds(row)[column];
            if (least == std::numeric_limits<float>::infinity()) continue;  // the whole band is ruled out
            consider(band + row, column, least);
            sweepBand(rows);
        }
    }

    Placement result() const {
        return Placement{static_cast<int>(best.index / placementColumns), static_cast<int>(best.index % placementColumns),
                         best.score};
    }

private:
    static constexpr int kBlocks = 2;  // vectors of placements bounded at once, to hide latency
    static constexpr size_t kBandBytes = size_t{4} << 20;  // scratch of one band
    using DF = hn::ScalableTag<float>;

    static int lanes() { return static_cast<int>(hn::Lanes(DF())); }
    int paddedStride() const {
        const int block = kBlocks * lanes();
        return (placementColumns + block - 1) / block * block;
    }
    // Placement rows per band: as many as kBandBytes hold with their window rows.
    int bandHeight() const {
        const size_t perRow = static_cast<size_t>(2 * s.channels + 2) * stride * sizeof(float);
        const int fit = static_cast<int>(kBandBytes / perRow) - (s.side - 1);
        return std::clamp(fit, 1, placementRows);
    }
    // The sums of the band's window row i (0: the band's first) in one channel; the
    // spreads follow them.
    float* rowStats(int i, int channel) {
        return scratch.rowStats.data() + (static_cast<size_t>(i) * (s.channels + 1) + channel) * stride;
    }
    const float* rowStats(int i, int channel) const {
        return scratch.rowStats.data() + (static_cast<size_t>(i) * (s.channels + 1) + channel) * stride;
    }
    uint32_t* rowSquares(int i, int channel) {
        return scratch.rowSquares.data() + (static_cast<size_t>(i) * s.channels + channel) * stride;
    }
    float* bounds(int row) { return scratch.bounds.data() + static_cast<size_t>(row) * stride; }

    // patchStats[i * (C + 1) + c]: sum of the patch's row i in channel c; [.. + C]: the row's spread.
    void patchStatistics() {
        scratch.patchStats.resize(static_cast<size_t>(terms));
        for (int i = 0; i < s.side; ++i) {
            double spreadSquare = 0;
            for (int c = 0; c < s.channels; ++c) {
                long long sum = 0, squares = 0;
                for (int k = 0; k < s.side; ++k) {
                    const int v = s.patch[i * s.patchStep + static_cast<size_t>(k) * s.channels + c];
                    sum += v;
                    squares += v * v;
                }
                scratch.patchStats[static_cast<size_t>(i) * (s.channels + 1) + c] = static_cast<float>(sum);
                spreadSquare += static_cast<double>(s.side * squares - sum * sum);
            }
            scratch.patchStats[static_cast<size_t>(i) * (s.channels + 1) + s.channels] = static_cast<float>(std::sqrt(spreadSquare));
        }
    }

    // patchBox[2c], [2c + 1]: the patch's sum and sum of squares in channel c.
    void patchBoxStatistics() {
        std::vector<double>& patchBox = scratch.patchBox;
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
        scratch.patch.resize(static_cast<size_t>(s.side) * rowBytes);
        for (int i = 0; i < s.side; ++i)
            std::copy_n(s.patch + i * s.patchStep, rowBytes, scratch.patch.begin() + static_cast<ptrdiff_t>(i * rowBytes));
    }

    // Sums and spreads of side consecutive pixels of one window row, per channel, at
    // every column; zero in the padding, whose bounds become +infinity.
    void windowRowStatistics(int i) {
        prefixSums(s.window + static_cast<size_t>(band + i) * s.windowStep);
        std::fill(scratch.spreadSquares.begin(), scratch.spreadSquares.end(), 0.0);
        for (int c = 0; c < s.channels; ++c) slidingStatistics(prefix(c, 1), prefix(c, 2), rowStats(i, c), rowSquares(i, c));
        squareRoots(rowStats(i, s.channels));
    }

    // Prefix sums run past the last column to the padded width, repeating the total.
    size_t prefixLength() const { return static_cast<size_t>(stride + s.side); }
    // power 1: the values' prefix sums, 2: their squares'.
    uint32_t* prefix(int channel, int power) {
        return scratch.prefixes.data() + (2 * static_cast<size_t>(channel) + power - 1) * prefixLength();
    }

    // Per channel, sums of the row's first x values and of their squares, for x = 0 ..
    // prefixLength() - 1. Unsigned arithmetic wraps, so differences of nearby prefixes
    // stay exact.
    void prefixSums(const uint8_t* w) {
        const int C = s.channels;
        for (int c = 0; c < C; ++c) {
            uint32_t* sums = prefix(c, 1);
            uint32_t* squares = prefix(c, 2);
            uint32_t sum = 0, sumOfSquares = 0;
            sums[0] = squares[0] = 0;
            const uint8_t* v = w + c;
            for (int x = 1; x <= s.windowCols; ++x, v += C) {
                sum += *v;
                sumOfSquares += static_cast<uint32_t>(*v) * *v;
                sums[x] = sum;
                squares[x] = sumOfSquares;
            }
            std::fill(sums + s.windowCols + 1, sums + prefixLength(), sum);
            std::fill(squares + s.windowCols + 1, squares + prefixLength(), sumOfSquares);
        }
    }

    // Sum and spread of side values from every column, from the prefix sums: the spread
    // sqrt(Q * squares - sum^2) is exact in double precision before its root.
    void slidingStatistics(const uint32_t* sums, const uint32_t* squares, float* out, uint32_t* squaresOut) {
        const hn::ScalableTag<double> dd;
        const hn::Rebind<float, decltype(dd)> df;
        const hn::Rebind<uint32_t, decltype(dd)> du;
        const hn::Rebind<int32_t, decltype(dd)> di;
        const auto side = hn::Set(dd, static_cast<double>(s.side));
        const auto window = [&](const uint32_t* prefix, int x) {
            return hn::Sub(hn::LoadU(du, prefix + x + s.side), hn::LoadU(du, prefix + x));
        };
        for (int x = 0; x < stride; x += static_cast<int>(hn::Lanes(dd))) {
            const auto sum = hn::PromoteTo(dd, hn::BitCast(di, window(sums, x)));
            const auto squareSums = window(squares, x);
            hn::StoreU(squareSums, du, squaresOut + x);
            const auto spreadSquare = hn::Sub(hn::Mul(side, hn::PromoteTo(dd, hn::BitCast(di, squareSums))), hn::Mul(sum, sum));
            double* total = scratch.spreadSquares.data() + x;
            hn::StoreU(hn::Add(hn::LoadU(dd, total), spreadSquare), dd, total);
            hn::StoreU(hn::DemoteTo(df, sum), df, out + x);
        }
    }

    void squareRoots(float* out) const {
        const hn::ScalableTag<double> dd;
        const hn::Rebind<float, decltype(dd)> df;
        for (int x = 0; x < stride; x += static_cast<int>(hn::Lanes(dd)))
            hn::StoreU(hn::DemoteTo(df, hn::Sqrt(hn::LoadU(dd, scratch.spreadSquares.data() + x))), df, out + x);
    }

    // The bound's terms (times Q) of patch row i placed on band row windowRow at a
    // column, rounded up.
    double rowTerms(int i, int windowRow, int column) const {
        const float* patch = scratch.patchStats.data() + static_cast<size_t>(i) * (s.channels + 1);
        double terms = 0;
        for (int c = 0; c <= s.channels; ++c) {
            const double d = patch[c] - rowStats(windowRow, c)[column];
            terms += d * d + error.perTerm();
        }
        return terms;
    }

    // Every placement's bound (times Q) in the band, +infinity past the last column;
    // returns the (band row, column) of the smallest.
    std::pair<int, int> boundBand(int rows) {
        const DF df;
        const auto infinity = hn::Set(df, std::numeric_limits<float>::infinity());
        auto smallest = infinity;
        for (int row = 0; row < rows; ++row) {
            const float* const* stats = orderStatRows(row);
            slideBox(row);
            coarseBounds();
            for (int column = 0; column < placementColumns; column += kBlocks * lanes()) {
                hn::Vec<DF> acc[kBlocks];
                if (coarselyRuledOut(column)) {
                    for (auto& a : acc) a = infinity;
                } else {
                    boundBlocks(stats, column, acc);
                }
                for (int b = 0; b < kBlocks; ++b) {
                    const int first = column + b * lanes();
                    const auto valid = hn::FirstN(df, static_cast<size_t>(std::max(0, placementColumns - first)));
                    acc[b] = hn::IfThenElse(valid, acc[b], infinity);
                    hn::StoreU(acc[b], df, bounds(row) + first);
                    smallest = hn::Min(smallest, acc[b]);
                }
            }
        }
        return firstEqual(rows, hn::MinOfLanes(df, smallest));
    }

    // Whole-patch sums and sums of squares per channel at every column of placement row
    // row, from those of the previous row (exact in double precision).
    void slideBox(int row) {
        const hn::ScalableTag<double> dd;
        const hn::Rebind<float, decltype(dd)> df;
        const hn::Rebind<uint32_t, decltype(dd)> du;
        const int n = static_cast<int>(hn::Lanes(dd));
        const auto sums = [&](const float* p, int x) { return hn::PromoteTo(dd, hn::LoadU(df, p + x)); };
        const hn::Rebind<int32_t, decltype(dd)> di;
        const auto squares = [&](const uint32_t* p, int x) { return hn::PromoteTo(dd, hn::BitCast(di, hn::LoadU(du, p + x))); };
        for (int c = 0; c < s.channels; ++c) {
            double* boxSums = scratch.box.data() + 2 * static_cast<size_t>(c) * stride;
            double* boxSquares = boxSums + stride;
            for (int x = 0; x < stride; x += n) {
                auto sum = hn::Zero(dd), square = hn::Zero(dd);
                if (row == 0) {
                    for (int i = 0; i < s.side; ++i) {
                        sum = hn::Add(sum, sums(rowStats(i, c), x));
                        square = hn::Add(square, squares(rowSquares(i, c), x));
                    }
                } else {
                    const int in = row + s.side - 1, out = row - 1;
                    sum = hn::Add(hn::LoadU(dd, boxSums + x), hn::Sub(sums(rowStats(in, c), x), sums(rowStats(out, c), x)));
                    square = hn::Add(hn::LoadU(dd, boxSquares + x),
                                     hn::Sub(squares(rowSquares(in, c), x), squares(rowSquares(out, c), x)));
                }
                hn::StoreU(sum, dd, boxSums + x);
                hn::StoreU(square, dd, boxSquares + x);
            }
        }
    }

    // The whole-patch bound (times Q) of every placement of the row: per channel the
    // squared difference of the sums, and the squared difference of the spreads about
    // the channel means, all over N = Q^2 values:
    //     N * sum (a - b)^2  >=  sum over channels (Da - Db)^2 + (Va - Vb)^2.
    void coarseBounds() {
        const hn::ScalableTag<double> dd;
        const hn::Rebind<float, decltype(dd)> df;
        const double N = static_cast<double>(s.side) * s.side;
        const auto values = hn::Set(dd, N), perQ = hn::Set(dd, 1.0 / s.side);
        for (int x = 0; x < stride; x += static_cast<int>(hn::Lanes(dd))) {
            auto mean = hn::Zero(dd), spreadSquare = hn::Zero(dd);
            for (int c = 0; c < s.channels; ++c) {
                const double* boxSums = scratch.box.data() + 2 * static_cast<size_t>(c) * stride;
                const auto sum = hn::LoadU(dd, boxSums + x);
                const auto d = hn::Sub(hn::Set(dd, scratch.patchBox[2 * c]), sum);
                mean = hn::MulAdd(d, d, mean);
                spreadSquare = hn::Add(spreadSquare, hn::Sub(hn::Mul(values, hn::LoadU(dd, boxSums + stride + x)), hn::Mul(sum, sum)));
            }
            const auto dSpread = hn::Sub(hn::Set(dd, patchSpread), hn::Sqrt(hn::ZeroIfNegative(spreadSquare)));
            const auto bound = hn::Mul(hn::MulAdd(dSpread, dSpread, mean), perQ);
            hn::StoreU(hn::DemoteTo(df, bound), df, scratch.coarse.data() + x);
        }
    }

    bool coarselyRuledOut(int column) const {
        const DF df;
        const auto limit = hn::Set(df, threshold);
        for (int b = 0; b < kBlocks; ++b)
            if (!hn::AllFalse(df, hn::Le(hn::LoadU(df, scratch.coarse.data() + column + b * lanes()), limit))) return false;
        return true;
    }

    // Bounds of kBlocks vectors of placements from column on, the mean and spread
    // parts in separate sums to keep more of them in flight.
    void boundBlocks(const float* const* stats, int column, hn::Vec<DF>* acc) const {
        const DF df;
        hn::Vec<DF> spreadAcc[kBlocks];
        for (int b = 0; b < kBlocks; ++b) acc[b] = spreadAcc[b] = hn::Zero(df);
        for (int m = 0; m + 1 < terms; m += 2) {
            const auto patch0 = hn::Set(df, scratch.patchStats[static_cast<size_t>(m)]);
            const auto patch1 = hn::Set(df, scratch.patchStats[static_cast<size_t>(m) + 1]);
            for (int b = 0; b < kBlocks; ++b) {
                const auto d0 = hn::Sub(patch0, hn::LoadU(df, stats[m] + column + b * lanes()));
                const auto d1 = hn::Sub(patch1, hn::LoadU(df, stats[m + 1] + column + b * lanes()));
                acc[b] = hn::MulAdd(d0, d0, acc[b]);
                spreadAcc[b] = hn::MulAdd(d1, d1, spreadAcc[b]);
            }
        }
        if (terms % 2) {
            const int m = terms - 1;
            const auto patch0 = hn::Set(df, scratch.patchStats[static_cast<size_t>(m)]);
            for (int b = 0; b < kBlocks; ++b) {
                const auto d0 = hn::Sub(patch0, hn::LoadU(df, stats[m] + column + b * lanes()));
                acc[b] = hn::MulAdd(d0, d0, acc[b]);
            }
        }
        for (int b = 0; b < kBlocks; ++b) acc[b] = hn::Add(acc[b], spreadAcc[b]);
    }

    std::pair<int, int> firstEqual(int rows, hn::Vec<DF> value) {
        const DF df;
        for (int row = 0; row < rows; ++row)
            for (int column = 0; column < placementColumns; column += lanes()) {
                const intptr_t lane = hn::FindFirstTrue(df, hn::Eq(hn::LoadU(df, bounds(row) + column), value));
                if (lane >= 0) return {row, column + static_cast<int>(lane)};
            }
        return {0, 0};
    }

    const float* const* orderStatRows(int row) {
        for (int i = 0; i < s.side; ++i)
            for (int c = 0; c <= s.channels; ++c)
                scratch.statRows[static_cast<size_t>(i) * (s.channels + 1) + c] = rowStats(row + i, c);
        return scratch.statRows.data();
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
                    if (b[column + lane] <= threshold) consider(band + row, column + lane, b[column + lane]);
            }
        }
    }

    const PatchSearch& s;
    Scratch& scratch;
    const size_t rowBytes;
    const int placementRows, placementColumns;
    const int terms;     // the row bound's terms per placement: Q * (C + 1)
    const int stride;    // floats per row of statistics or bounds, padded to whole blocks
    const int bandRows;  // placement rows per band
    const BoundError error;
    int band = 0;  // first placement row of the current band
    double patchSpread = 0;  // the whole patch's spread over all channels
    Best best;
    float threshold = std::numeric_limits<float>::infinity();
};

Placement SearchWindow(const PatchSearch& search, std::span<const Placement> candidates, Scratch& scratch) {
    WindowScan scan(search, scratch);
    for (const Placement& c : candidates) scan.consider(c.row, c.column, 0.0f);
    scan.scan();
    return scan.result();
}

} // namespace HWY_NAMESPACE
} // namespace patch_search
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace patch_search {
HWY_EXPORT(SearchWindow);

Placement dispatch(const PatchSearch& search, std::span<const Placement> candidates) {
    thread_local Scratch scratch;
    return HWY_DYNAMIC_DISPATCH(SearchWindow)(search, candidates, scratch);
}
} // namespace patch_search

Placement searchWindow(const PatchSearch& search, std::span<const Placement> candidates) {
    return patch_search::dispatch(search, candidates);
}
#endif
