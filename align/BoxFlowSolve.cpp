#include "align/BoxFlowSolve.hpp"

namespace tl {

BoxFlowSolve::BoxFlowSolve(int width, int window)
    : width(width), m(window / 2), scale(1. / (window * window)) {}

void BoxFlowSolve::solveRow(double* sums, float* flow) const {
    double* vsum = sums + (m + 1) * 5;
    for (int x = 0; x < (m + 1) * 5; x++) {
        vsum[-1 - x] = vsum[4 - x];
        vsum[width * 5 + x] = vsum[width * 5 + x - 5];
    }

    solveFlowRow(vsum, width, m, scale, flow);
}

} // namespace tl
