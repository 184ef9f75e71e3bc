#include "align/BoxFlowSolve.hpp"

BoxFlowSolve::BoxFlowSolve(int width, int window)
    : width(width), m(window / 2), scale(1. / (window * window)) {}

void BoxFlowSolve::solveRow(double* sums, float* flow) const {
    double* vsum = sums + (m + 1) * 5;
    for (int x = 0; x < (m + 1) * 5; x++) {
        vsum[-1 - x] = vsum[4 - x];
        vsum[width * 5 + x] = vsum[width * 5 + x - 5];
    }

    double g11 = vsum[0] * (m + 2);
    double g12 = vsum[1] * (m + 2);
    double g22 = vsum[2] * (m + 2);
    double h1 = vsum[3] * (m + 2);
    double h2 = vsum[4] * (m + 2);
    for (int x = 1; x < m; x++) {
        g11 += vsum[x * 5];
        g12 += vsum[x * 5 + 1];
        g22 += vsum[x * 5 + 2];
        h1 += vsum[x * 5 + 3];
        h2 += vsum[x * 5 + 4];
    }

    for (int x = 0; x < width; x++) {
        g11 += vsum[(x + m) * 5] - vsum[(x - m) * 5 - 5];
        g12 += vsum[(x + m) * 5 + 1] - vsum[(x - m) * 5 - 4];
        g22 += vsum[(x + m) * 5 + 2] - vsum[(x - m) * 5 - 3];
        h1 += vsum[(x + m) * 5 + 3] - vsum[(x - m) * 5 - 2];
        h2 += vsum[(x + m) * 5 + 4] - vsum[(x - m) * 5 - 1];

        double g11_ = g11 * scale;
        double g12_ = g12 * scale;
        double g22_ = g22 * scale;
        double h1_ = h1 * scale;
        double h2_ = h2 * scale;

        double idet = 1. / (g11_ * g22_ - g12_ * g12_ + 1e-3);

        flow[x * 2] = (float)((g11_ * h2_ - g12_ * h1_) * idet);
        flow[x * 2 + 1] = (float)((g22_ * h1_ - g12_ * h2_) * idet);
    }
}
