#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tl {

// The statistics of a rectangle of an 8-bit interleaved image that every least-squares
// patch search over it needs and that do not depend on the patch, for squares of side
// pixels (a placement):
//  - every row, at every column: the sum of side consecutive values per channel, and
//    their spread over all channels, sqrt(sum over channels of side * squares - sum^2);
//  - every placement: the sum of its values per channel, and its spread over all
//    channels, sqrt(sum over channels of side^2 * squares - sum^2);
//  - every block of kRangeRows by kRangeColumns placements (from multiples of them): the
//    least and the largest of those sums and spreads, so that a search can rule out a
//    block whole without reading its statistics.
// Sums are exact; a spread is rounded once to single precision from the root of its
// exact square. Searches of neighbouring patches over the same rows
// compute them once and read them at their own columns.
//
// Rows and columns are counted from the rectangle's top-left corner. Columns run from 0
// to placementColumns() - 1 and are padded with zeros past them to paddedColumns(), so
// that whole vectors can be read from any column.
class WindowStatistics {
public:
    // The rectangle's top-left pixel, the image's row step in bytes, its size (at least
    // side in both directions).
    void compute(const uint8_t* origin, size_t step, int rows, int cols, int side, int channels);

    // Bytes held per row and column of a rectangle, to plan within a memory budget.
    static size_t bytesPerPixel(int channels);

    int rows() const { return rows_; }
    int placementRows() const { return rows_ - side_ + 1; }
    int placementColumns() const { return placementColumns_; }
    int paddedColumns() const { return stride_; }

    // Row sums of row i in a channel; channel == channels gives the row spreads. They
    // follow one another paddedColumns() apart, channel after channel and row after row.
    const float* rowStatistics(int i, int channel) const {
        return rowStats_.data() + (static_cast<size_t>(i) * (channels_ + 1) + channel) * stride_;
    }
    const float* boxSums(int placementRow, int channel) const {
        return boxSums_.data() + (static_cast<size_t>(placementRow) * channels_ + channel) * stride_;
    }
    const float* boxSpreads(int placementRow) const {
        return boxSpreads_.data() + static_cast<size_t>(placementRow) * stride_;
    }
    // The least box sums of channel (channel == channels: spreads) of every block of the
    // placement row's block row; the largest follow at rangeStride().
    const float* boxRanges(int placementRow, int channel) const {
        const size_t blockRow = static_cast<size_t>(placementRow / kRangeRows);
        return boxRanges_.data() + (blockRow * (channels_ + 1) + channel) * 2 * rangeStride_;
    }
    int rangeStride() const { return rangeStride_; }

    static constexpr int kRangeRows = 16, kRangeColumns = 16;

    // Vectors may be read this many values past placementColumns(), and past the last
    // block in boxRanges.
    static constexpr int kPadding = 64;

private:
    int rows_ = 0, side_ = 0, channels_ = 0, placementColumns_ = 0, stride_ = 0, rangeStride_ = 0;
    std::vector<float> rowStats_;       // row, channel (then spread), column
    std::vector<uint32_t> rowSquares_;  // the last side rows' sums of squares: ring, channel, column
    std::vector<float> boxSums_;        // placement row, channel, column
    std::vector<float> boxSpreads_;     // placement row, column
    std::vector<float> boxRanges_;      // block row, channel (then spread), least / largest, block
    std::vector<uint32_t> boxSquares_;  // channel, column: the current placement row's sums of squares
    std::vector<double> spreadSquares;  // column: one row's spread squared, summed over channels
    std::vector<uint32_t> prefixes;     // one channel of a row: sums, squares from its start
};

} // namespace tl
