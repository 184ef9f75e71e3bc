#include "align/PolynomialExpansion.hpp"

#include <cmath>

namespace {

constexpr double polynomialSigma = 1.1;

} // namespace

// The weights and the inverse of the basis' Gram matrix, computed with the same types
// and operations as OpenCV's dense flow, including float products promoted late.
PolynomialExpansion::PolynomialExpansion() {
    constexpr int n = radius;
    float* gw = gaussian + n;
    float* xgw = xGaussian + n;
    float* xxgw = xxGaussian + n;
    // Read through a volatile so that the compiler evaluates exp at run time with the
    // library's own exp, as OpenCV does, rather than folding it into a constant.
    volatile double sigmaAtRunTime = polynomialSigma;
    const double sigma = sigmaAtRunTime;

    double s = 0.;
    for (int x = -n; x <= n; x++) {
        gw[x] = (float)std::exp(-x * x / (2 * sigma * sigma));
        s += gw[x];
    }
    s = 1. / s;
    for (int x = -n; x <= n; x++) {
        gw[x] = (float)(gw[x] * s);
        xgw[x] = (float)(x * gw[x]);
        xxgw[x] = (float)(x * x * gw[x]);
    }

    cv::Mat_<double> G(6, 6);
    G.setTo(0);
    for (int y = -n; y <= n; y++)
        for (int x = -n; x <= n; x++) {
            G(0, 0) += gw[y] * gw[x];
            G(1, 1) += gw[y] * gw[x] * x * x;
            G(3, 3) += gw[y] * gw[x] * x * x * x * x;
            G(5, 5) += gw[y] * gw[x] * x * x * y * y;
        }
    G(2, 2) = G(0, 3) = G(0, 4) = G(3, 0) = G(4, 0) = G(1, 1);
    G(4, 4) = G(3, 3);
    G(3, 4) = G(4, 3) = G(5, 5);

    const cv::Mat_<double> invG = G.inv(cv::DECOMP_CHOLESKY);
    ig11 = invG(1, 1);
    ig03 = invG(0, 3);
    ig33 = invG(3, 3);
    ig55 = invG(5, 5);
}

// Vertical then horizontal weighted sums. Each element's operations are those of the
// whole-image expansion; the three vertical sums are float, the horizontal ones mix
// float products and double accumulators exactly where the reference does.
void PolynomialExpansion::expand(const float* const* rows, int width, float* out, std::vector<float>& scratch) const {
    constexpr int n = radius;
    const float* g = gaussian + n;
    const float* xg = xGaussian + n;
    const float* xxg = xxGaussian + n;
    scratch.resize(static_cast<size_t>(width + 2 * n) * 3);
    float* row = scratch.data() + n * 3;

    const float* centre = rows[n];
    const float g0 = g[0];
    for (int x = 0; x < width; x++) {
        row[x * 3] = centre[x] * g0;
        row[x * 3 + 1] = row[x * 3 + 2] = 0.f;
    }
    for (int k = 1; k <= n; k++) {
        const float gk = g[k], g1 = xg[k], g2 = xxg[k];
        const float* srow0 = rows[n - k];
        const float* srow1 = rows[n + k];
        for (int x = 0; x < width; x++) {
            float p = srow0[x] + srow1[x];
            float t0 = row[x * 3] + gk * p;
            float t1 = row[x * 3 + 1] + g1 * (srow1[x] - srow0[x]);
            float t2 = row[x * 3 + 2] + g2 * p;
            row[x * 3] = t0;
            row[x * 3 + 1] = t1;
            row[x * 3 + 2] = t2;
        }
    }

    // The first and last pixels repeat beyond the row's ends.
    for (int x = 0; x < n * 3; x++) {
        row[-1 - x] = row[2 - x];
        row[width * 3 + x] = row[width * 3 + x - 3];
    }

    for (int x = 0; x < width; x++) {
        float gk = g[0];
        double b1 = row[x * 3] * gk, b2 = 0, b3 = row[x * 3 + 1] * gk, b4 = 0, b5 = row[x * 3 + 2] * gk, b6 = 0;
        for (int k = 1; k <= n; k++) {
            double tg = row[(x + k) * 3] + row[(x - k) * 3];
            gk = g[k];
            b1 += tg * gk;
            b4 += tg * xxg[k];
            b2 += (row[(x + k) * 3] - row[(x - k) * 3]) * xg[k];
            b3 += (row[(x + k) * 3 + 1] + row[(x - k) * 3 + 1]) * gk;
            b6 += (row[(x + k) * 3 + 1] - row[(x - k) * 3 + 1]) * xg[k];
            b5 += (row[(x + k) * 3 + 2] + row[(x - k) * 3 + 2]) * gk;
        }
        out[x * 5 + 1] = (float)(b2 * ig11);
        out[x * 5] = (float)(b3 * ig11);
        out[x * 5 + 3] = (float)(b1 * ig03 + b4 * ig33);
        out[x * 5 + 2] = (float)(b1 * ig03 + b5 * ig33);
        out[x * 5 + 4] = (float)(b6 * ig55);
    }
}
