#pragma once

#include "align/FlowRowKernels.hpp"

namespace tl {

// The flow update with a box window of `window` pixels: the five terms of every pixel
// are summed over the window (vertically as running sums carried down each column from
// the top row, horizontally as running sums along each row from its left end, both in
// double and in the reference's order), then the 2 x 2 system is solved per pixel.
// The vertical sums of a column depend on every row above, so they advance one row at a
// time; columns are independent, which is what lets several threads share the work.
class BoxFlowSolve {
public:
    BoxFlowSolve(int width, int window);

    int halfWindow() const { return m; }
    // Length in doubles of one row of vertical sums, including the border the horizontal
    // pass pads it with.
    int sumsLength() const { return (width + 2 * (m + 1)) * 5; }

    // Starts the vertical sums of elements [begin, end) of a row (5 per pixel) from the
    // matrix rows: matrixRow(r) gives row min(r, height - 1).
    template <typename MatrixRow>
    void startSums(double* sums, int begin, int end, MatrixRow matrixRow) const {
        double* vsum = sums + (m + 1) * 5;
        const float* srow0 = matrixRow(0);
        for (int x = begin; x < end; x++) vsum[x] = srow0[x] * (m + 2);
        for (int y = 1; y < m; y++) {
            srow0 = matrixRow(y);
            for (int x = begin; x < end; x++) vsum[x] += srow0[x];
        }
    }

    // Advances elements [begin, end) of the vertical sums to row y and copies them into the
    // same elements of copy (a row of sumsLength()): `entering` is matrix row
    // min(y + m, height - 1), `leaving` is row max(y - m - 1, 0).
    void advanceSums(double* sums, double* copy, int begin, int end, const float* entering,
                     const float* leaving) const {
        const int interior = (m + 1) * 5;
        addColumnDifferences(sums + interior + begin, copy + interior + begin, entering + begin, leaving + begin,
                             end - begin);
    }

    // Flow of one row from its vertical sums; pads the sums' borders in place.
    void solveRow(double* sums, float* flow) const;

private:
    int width, m;
    double scale;
};

} // namespace tl
