#pragma once

#include "align/FlowMatrices.hpp"

#include <cstdint>

namespace tl {

// The dense flow's per-row loops, vectorised across pixels: compiled for every instruction
// set Highway offers and chosen at run time. Each pixel goes through the float and double
// operations of the scalar code (FlowMatrices.hpp, BoxFlowSolve.hpp) in the same order and
// precision, so the results are the same bit for bit.

// Rows of the second image's expansion held in a ring: row r, for lowest <= r <= highest,
// starts at base + offsets[r - lowest] and holds five planes of `width` floats.
struct ExpansionRing {
    const float* base;
    const int32_t* offsets;
    int lowest, highest;
};

// flowMatrixRow for pixels [begin, end) of the row, where every pixel lies at least
// flowBorder pixels inside the image (none is damped). A pixel whose flow samples rows
// outside the ring is left to the caller: its column goes to `missed` (room for end - begin
// columns) and the count of them is returned. So are all pixels of a span shorter than a
// vector.
int flowMatrixSpan(const FlowRow& row, const ExpansionRing& ring, int begin, int end, int* missed);

// sums[x] += entering[x] - leaving[x] for x in [0, count), the difference in float, the
// sum in double; the new sums also go to copy.
void addColumnDifferences(double* sums, double* copy, const float* entering, const float* leaving, int count);

// The flow of a row (width pixels, dx and dy each) from its vertical sums `sums` (5 per
// pixel from the row's first, borders of m + 1 pixels padded) summed over windows of
// 2m + 1 pixels along the row, each system solved after scaling by `scale`.
void solveFlowRow(const double* sums, int width, int m, double scale, float* flow);

} // namespace tl
