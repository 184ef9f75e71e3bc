// Compiled once per instruction set by Highway's foreach_target; compute picks the best
// one the processor has at run time.
#include "align/WindowStatistics.hpp"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "align/WindowStatistics.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

namespace tl {

#ifndef TL_WINDOW_STATISTICS_SHARED
#define TL_WINDOW_STATISTICS_SHARED
namespace window_statistics {

// What one computation reads and writes, sized by WindowStatistics::compute.
struct Buffers {
    const uint8_t* origin;
    size_t step;
    int rows, cols, side, channels, stride;
    float* rowStats;
    uint32_t* rowSquares;
    float* boxSums;
    float* boxSpreads;
    float* boxRanges;
    int rangeStride;
    uint32_t* boxSquares;
    double* spreadSquares;
    uint32_t* prefixes;

    // Prefix sums run past the last column to the padded width, repeating the total.
    size_t prefixLength() const { return static_cast<size_t>(stride + side); }
    // power 1: the values' prefix sums, 2: their squares'.
    uint32_t* prefix(int channel, int power) const {
        return prefixes + (2 * static_cast<size_t>(channel) + power - 1) * prefixLength();
    }
    float* rowStatistics(int i, int channel) const {
        return rowStats + (static_cast<size_t>(i) * (channels + 1) + channel) * stride;
    }
    // Rows' sums of squares are kept for side rows, the last row's place taken by the next.
    uint32_t* rowSquaresOf(int i, int channel) const {
        return rowSquares + (static_cast<size_t>(i % side) * channels + channel) * stride;
    }
    float* boxSumsOf(int placementRow, int channel) const {
        return boxSums + (static_cast<size_t>(placementRow) * channels + channel) * stride;
    }
    float* boxRangesOf(int placementRow, int channel) const {
        const size_t blockRow = static_cast<size_t>(placementRow / WindowStatistics::kRangeRows);
        return boxRanges + (blockRow * (channels + 1) + channel) * 2 * rangeStride;
    }
};

} // namespace window_statistics
#endif

HWY_BEFORE_NAMESPACE();
namespace window_statistics {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

// Per channel, sums of the row's first x values and of their squares, for x = 0 ..
// prefixLength() - 1. Unsigned arithmetic wraps, so differences of nearby prefixes stay
// exact.
void prefixSums(const Buffers& b, const uint8_t* w) {
    for (int c = 0; c < b.channels; ++c) {
        uint32_t* sums = b.prefix(c, 1);
        uint32_t* squares = b.prefix(c, 2);
        uint32_t sum = 0, sumOfSquares = 0;
        sums[0] = squares[0] = 0;
        const uint8_t* v = w + c;
        for (int x = 1; x <= b.cols; ++x, v += b.channels) {
            sum += *v;
            sumOfSquares += static_cast<uint32_t>(*v) * *v;
            sums[x] = sum;
            squares[x] = sumOfSquares;
        }
        std::fill(sums + b.cols + 1, sums + b.prefixLength(), sum);
        std::fill(squares + b.cols + 1, squares + b.prefixLength(), sumOfSquares);
    }
}

// Sum and sum of squares of side values from every column of one channel, from the
// prefix sums; the spread's square side * squares - sum^2, exact in double precision, is
// added to spreadSquares.
void slidingStatistics(const Buffers& b, int channel, float* sumsOut, uint32_t* squaresOut) {
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const hn::Rebind<uint32_t, decltype(dd)> du;
    const hn::Rebind<int32_t, decltype(dd)> di;
    const uint32_t* sums = b.prefix(channel, 1);
    const uint32_t* squares = b.prefix(channel, 2);
    const auto side = hn::Set(dd, static_cast<double>(b.side));
    const auto window = [&](const uint32_t* prefix, int x) {
        return hn::Sub(hn::LoadU(du, prefix + x + b.side), hn::LoadU(du, prefix + x));
    };
    for (int x = 0; x < b.stride; x += static_cast<int>(hn::Lanes(dd))) {
        const auto sum = hn::PromoteTo(dd, hn::BitCast(di, window(sums, x)));
        const auto squareSums = window(squares, x);
        hn::StoreU(squareSums, du, squaresOut + x);
        const auto spreadSquare = hn::Sub(hn::Mul(side, hn::PromoteTo(dd, hn::BitCast(di, squareSums))), hn::Mul(sum, sum));
        double* total = b.spreadSquares + x;
        hn::StoreU(hn::Add(hn::LoadU(dd, total), spreadSquare), dd, total);
        hn::StoreU(hn::DemoteTo(df, sum), df, sumsOut + x);
    }
}

// Sums and spreads of row i at every column; zero in the padding.
void rowStatistics(const Buffers& b, int i) {
    prefixSums(b, b.origin + static_cast<size_t>(i) * b.step);
    std::fill(b.spreadSquares, b.spreadSquares + b.stride, 0.0);
    for (int c = 0; c < b.channels; ++c) slidingStatistics(b, c, b.rowStatistics(i, c), b.rowSquaresOf(i, c));
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    float* spreads = b.rowStatistics(i, b.channels);
    for (int x = 0; x < b.stride; x += static_cast<int>(hn::Lanes(dd)))
        hn::StoreU(hn::DemoteTo(df, hn::Sqrt(hn::LoadU(dd, b.spreadSquares + x))), df, spreads + x);
}

// Adds (sign +1) or takes away (-1) row i's sums of squares from the current placement
// row's, in wrapping unsigned arithmetic, exact for the final sums.
void slideSquares(const Buffers& b, int i, bool add) {
    const hn::ScalableTag<uint32_t> du;
    for (int c = 0; c < b.channels; ++c) {
        const uint32_t* row = b.rowSquaresOf(i, c);
        uint32_t* box = b.boxSquares + static_cast<size_t>(c) * b.stride;
        for (int x = 0; x < b.stride; x += static_cast<int>(hn::Lanes(du))) {
            const auto v = hn::LoadU(du, box + x), r = hn::LoadU(du, row + x);
            hn::StoreU(add ? hn::Add(v, r) : hn::Sub(v, r), du, box + x);
        }
    }
}

// Placement row p's sums per channel (from the previous placement row's, exact in
// single precision) and its spread over all channels (its square exact in double
// precision), once its last row, p + side - 1, is in.
void boxStatistics(const Buffers& b, int p) {
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> df;
    const hn::Rebind<uint32_t, decltype(dd)> du;
    const hn::Rebind<int32_t, decltype(dd)> di;
    const int n = static_cast<int>(hn::Lanes(dd));
    const auto values = hn::Set(dd, static_cast<double>(b.side) * b.side);
    std::fill(b.spreadSquares, b.spreadSquares + b.stride, 0.0);
    for (int c = 0; c < b.channels; ++c) {
        float* sums = b.boxSumsOf(p, c);
        for (int x = 0; x < b.stride; x += n) {
            auto sum = hn::Zero(dd);
            if (p == 0) {
                for (int i = 0; i < b.side; ++i) sum = hn::Add(sum, hn::PromoteTo(dd, hn::LoadU(df, b.rowStatistics(i, c) + x)));
            } else {
                const auto in = hn::PromoteTo(dd, hn::LoadU(df, b.rowStatistics(p + b.side - 1, c) + x));
                const auto out = hn::PromoteTo(dd, hn::LoadU(df, b.rowStatistics(p - 1, c) + x));
                sum = hn::Add(hn::PromoteTo(dd, hn::LoadU(df, b.boxSumsOf(p - 1, c) + x)), hn::Sub(in, out));
            }
            hn::StoreU(hn::DemoteTo(df, sum), df, sums + x);
            const auto squares = hn::PromoteTo(dd, hn::BitCast(di, hn::LoadU(du, b.boxSquares + static_cast<size_t>(c) * b.stride + x)));
            double* total = b.spreadSquares + x;
            hn::StoreU(hn::Add(hn::LoadU(dd, total), hn::Sub(hn::Mul(values, squares), hn::Mul(sum, sum))), dd, total);
        }
    }
    float* spreads = b.boxSpreads + static_cast<size_t>(p) * b.stride;
    for (int x = 0; x < b.stride; x += n)
        hn::StoreU(hn::DemoteTo(df, hn::Sqrt(hn::ZeroIfNegative(hn::LoadU(dd, b.spreadSquares + x)))), df, spreads + x);
}

// Widens the least and largest of every block to the block's kRangeColumns values of a
// row of stride values; the block row's first row sets them.
void ranges(const Buffers& b, const float* values, float* out, bool first) {
    const hn::CappedTag<float, WindowStatistics::kRangeColumns> dc;
    const int n = static_cast<int>(hn::Lanes(dc));
    for (int block = 0; block * WindowStatistics::kRangeColumns < b.stride; ++block) {
        const float* v = values + static_cast<size_t>(block) * WindowStatistics::kRangeColumns;
        auto least = hn::LoadU(dc, v), largest = least;
        for (int k = n; k < WindowStatistics::kRangeColumns; k += n) {
            least = hn::Min(least, hn::LoadU(dc, v + k));
            largest = hn::Max(largest, hn::LoadU(dc, v + k));
        }
        const float low = hn::GetLane(hn::MinOfLanes(dc, least)), high = hn::GetLane(hn::MaxOfLanes(dc, largest));
        out[block] = first ? low : std::min(out[block], low);
        out[b.rangeStride + block] = first ? high : std::max(out[b.rangeStride + block], high);
    }
}

void Compute(const Buffers& b) {
    std::fill(b.boxSquares, b.boxSquares + static_cast<size_t>(b.channels) * b.stride, 0u);
    for (int i = 0; i < b.rows; ++i) {
        if (i >= b.side) slideSquares(b, i - b.side, false);
        rowStatistics(b, i);
        slideSquares(b, i, true);
        if (i >= b.side - 1) {
            const int p = i - b.side + 1;
            boxStatistics(b, p);
            const bool first = p % WindowStatistics::kRangeRows == 0;
            for (int c = 0; c < b.channels; ++c) ranges(b, b.boxSumsOf(p, c), b.boxRangesOf(p, c), first);
            ranges(b, b.boxSpreads + static_cast<size_t>(p) * b.stride, b.boxRangesOf(p, b.channels), first);
        }
    }
}

} // namespace HWY_NAMESPACE
} // namespace window_statistics
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace window_statistics {
HWY_EXPORT(Compute);
} // namespace window_statistics

size_t WindowStatistics::bytesPerPixel(int channels) {
    // Row sums and spreads, placement sums and spreads, and their blocks' ranges.
    const size_t perColumn = static_cast<size_t>(channels + 1) * sizeof(float) * 2;
    return perColumn + 1;
}

void WindowStatistics::compute(const uint8_t* origin, size_t step, int rows, int cols, int side, int channels) {
    rows_ = rows;
    side_ = side;
    channels_ = channels;
    placementColumns_ = cols - side + 1;
    constexpr int kVector = 16;  // floats in the widest vector: padded rows stay aligned alike
    stride_ = (placementColumns_ + kPadding + kVector - 1) / kVector * kVector;
    const size_t columns = static_cast<size_t>(stride_);
    rowStats_.resize(static_cast<size_t>(rows) * (channels + 1) * columns);
    rowSquares_.resize(static_cast<size_t>(side) * channels * columns);
    boxSums_.resize(static_cast<size_t>(placementRows()) * channels * columns);
    boxSpreads_.resize(static_cast<size_t>(placementRows()) * columns);
    rangeStride_ = stride_ / kRangeColumns + kPadding;
    const size_t blockRows = static_cast<size_t>(placementRows() + kRangeRows - 1) / kRangeRows;
    boxRanges_.resize(blockRows * (channels + 1) * 2 * rangeStride_);
    boxSquares_.resize(static_cast<size_t>(channels) * columns);
    spreadSquares.resize(columns);
    prefixes.resize(2 * static_cast<size_t>(channels) * (columns + side));
    const window_statistics::Buffers buffers{origin, step, rows, cols, side, channels, stride_,
                                             rowStats_.data(), rowSquares_.data(), boxSums_.data(),
                                             boxSpreads_.data(), boxRanges_.data(), rangeStride_,
                                             boxSquares_.data(), spreadSquares.data(), prefixes.data()};
    HWY_DYNAMIC_DISPATCH(window_statistics::Compute)(buffers);
}
#endif

} // namespace tl
