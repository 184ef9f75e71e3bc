#include "align/PolynomialExpansion.hpp"

#include <algorithm>
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

namespace {

constexpr int n = PolynomialExpansion::radius;

// The loops run across pixels, so that the compiler vectorises them: every pixel still
// goes through its own operations in the reference's order, in the same precisions
// (each lane does what the scalar code does), and contraction is off for this file.
// Each is built for AVX-512, AVX2 and the baseline and chosen at run time by the
// processor (by a plain check, not an ifunc, which ThreadSanitizer's runtime cannot
// start under).
#define TL_INLINE inline __attribute__((always_inline))

// One column's vertical sums for the three planes: Gaussian, odd (y) and y² weights.
// above[k] and below[k] are the rows k above and below.
TL_INLINE void verticalAt(const float* const* above, const float* const* below, int x,
                                                      const float* g, const float* xg, const float* xxg, float& t0,
                                                      float& t1, float& t2) {
    t0 = above[0][x] * g[0];
    t1 = 0.f;
    t2 = 0.f;
    for (int k = 1; k <= n; k++) {
        float p = above[k][x] + below[k][x];
        t0 = t0 + g[k] * p;
        t1 = t1 + xg[k] * (below[k][x] - above[k][x]);
        t2 = t2 + xxg[k] * p;
    }
}

struct InverseGram {
    double ig11, ig03, ig33, ig55;
};

// One pixel's horizontal sums over the three planes and its five coefficients.
TL_INLINE void horizontalAt(const float* plane0, const float* plane1,
                                                        const float* plane2, int x, const float* g, const float* xg,
                                                        const float* xxg, InverseGram inv, float* c0, float* c1,
                                                        float* c2, float* c3, float* c4) {
    float gk = g[0];
    double b1 = plane0[x] * gk, b2 = 0, b3 = plane1[x] * gk, b4 = 0, b5 = plane2[x] * gk, b6 = 0;
    for (int k = 1; k <= n; k++) {
        double tg = plane0[x + k] + plane0[x - k];
        gk = g[k];
        b1 += tg * gk;
        b4 += tg * xxg[k];
        b2 += (plane0[x + k] - plane0[x - k]) * xg[k];
        b3 += (plane1[x + k] + plane1[x - k]) * gk;
        b6 += (plane1[x + k] - plane1[x - k]) * xg[k];
        b5 += (plane2[x + k] + plane2[x - k]) * gk;
    }
    *c1 = (float)(b2 * inv.ig11);
    *c0 = (float)(b3 * inv.ig11);
    *c3 = (float)(b1 * inv.ig03 + b4 * inv.ig33);
    *c2 = (float)(b1 * inv.ig03 + b5 * inv.ig33);
    *c4 = (float)(b6 * inv.ig55);
}

void neighbourRows(const float* const* rows, const float** above, const float** below) {
    for (int k = 0; k <= n; k++) {
        above[k] = rows[n - k];
        below[k] = rows[n + k];
    }
}

// The vertical sums of a whole row into three planes.
TL_INLINE void verticalRow(const float* const* rows, int width, const float* g, const float* xg, const float* xxg,
                           float* __restrict plane0, float* __restrict plane1, float* __restrict plane2) {
    const float* above[n + 1];
    const float* below[n + 1];
    neighbourRows(rows, above, below);
    for (int x = 0; x < width; x++) verticalAt(above, below, x, g, xg, xxg, plane0[x], plane1[x], plane2[x]);
}

// The horizontal sums and coefficients of a whole row, into five planes. The three
// planes have n pixels of border on each side.
TL_INLINE void horizontalRow(const float* plane0, const float* plane1, const float* plane2, int width,
                             const float* g, const float* xg, const float* xxg, InverseGram inv,
                             float* __restrict c0, float* __restrict c1, float* __restrict c2, float* __restrict c3,
                             float* __restrict c4) {
    for (int x = 0; x < width; x++)
        horizontalAt(plane0, plane1, plane2, x, g, xg, xxg, inv, c0 + x, c1 + x, c2 + x, c3 + x, c4 + x);
}

#define TL_ROW_KERNELS(suffix, attributes)                                                                     \
    attributes void verticalRow##suffix(const float* const* rows, int width, const float* g, const float* xg,   \
                                        const float* xxg, float* plane0, float* plane1, float* plane2) {        \
        verticalRow(rows, width, g, xg, xxg, plane0, plane1, plane2);                                          \
    }                                                                                                          \
    attributes void horizontalRow##suffix(const float* plane0, const float* plane1, const float* plane2,       \
                                          int width, const float* g, const float* xg, const float* xxg,        \
                                          InverseGram inv, float* c0, float* c1, float* c2, float* c3,         \
                                          float* c4) {                                                         \
        horizontalRow(plane0, plane1, plane2, width, g, xg, xxg, inv, c0, c1, c2, c3, c4);                     \
    }

TL_ROW_KERNELS(Avx512, __attribute__((target("avx512f"))))
TL_ROW_KERNELS(Avx2, __attribute__((target("avx2"))))
TL_ROW_KERNELS(Baseline, )

struct RowKernels {
    decltype(&verticalRowBaseline) vertical;
    decltype(&horizontalRowBaseline) horizontal;
};

const RowKernels& rowKernels() {
    static const RowKernels chosen = [] {
        __builtin_cpu_init();
        if (__builtin_cpu_supports("avx512f")) return RowKernels{verticalRowAvx512, horizontalRowAvx512};
        if (__builtin_cpu_supports("avx2")) return RowKernels{verticalRowAvx2, horizontalRowAvx2};
        return RowKernels{verticalRowBaseline, horizontalRowBaseline};
    }();
    return chosen;
}

// The first and last pixels repeat beyond the row's ends.
void padPlane(float* plane, int width) {
    for (int x = 1; x <= n; x++) {
        plane[-x] = plane[0];
        plane[width - 1 + x] = plane[width - 1];
    }
}

} // namespace

// The vertical and horizontal weighted sums of the reference, pixel by pixel the same
// operations; the three vertical sums are float, the horizontal ones mix float products
// and double accumulators exactly where the reference does.
// Pixels x and x + 1 alone: the vertical sums of the columns within reach (the row's end
// columns repeated beyond it, as the padded planes repeat them), then the same
// per-pixel operations as the whole row's.
void PolynomialExpansion::expandPair(const float* const* rows, int x, int width, float* out) const {
    const float* g = gaussian + n;
    const float* xg = xGaussian + n;
    const float* xxg = xxGaussian + n;
    const float* above[n + 1];
    const float* below[n + 1];
    neighbourRows(rows, above, below);
    constexpr int reach = 2 * n + 2;  // columns x - n .. x + 1 + n
    float planes[3][reach];
    for (int i = 0; i < reach; i++) {
        const int column = std::clamp(x - n + i, 0, width - 1);
        verticalAt(above, below, column, g, xg, xxg, planes[0][i], planes[1][i], planes[2][i]);
    }
    const size_t w = static_cast<size_t>(width);
    for (int j = 0; j < 2; j++) {
        float* at = out + x + j;
        horizontalAt(planes[0] + n, planes[1] + n, planes[2] + n, j, g, xg, xxg, {ig11, ig03, ig33, ig55}, at,
                     at + w, at + 2 * w, at + 3 * w, at + 4 * w);
    }
}

void PolynomialExpansion::expand(const float* const* rows, int width, float* out, std::vector<float>& scratch) const {
    const float* g = gaussian + n;
    const float* xg = xGaussian + n;
    const float* xxg = xxGaussian + n;
    const size_t padded = static_cast<size_t>(width + 2 * n);
    scratch.resize(padded * 3);
    float* planes[3];
    for (int i = 0; i < 3; i++) planes[i] = scratch.data() + padded * i + n;

    const RowKernels& kernels = rowKernels();
    kernels.vertical(rows, width, g, xg, xxg, planes[0], planes[1], planes[2]);
    for (float* plane : planes) padPlane(plane, width);
    float* c[5];
    for (int i = 0; i < 5; i++) c[i] = out + static_cast<size_t>(width) * i;
    kernels.horizontal(planes[0], planes[1], planes[2], width, g, xg, xxg, {ig11, ig03, ig33, ig55}, c[0], c[1],
                       c[2], c[3], c[4]);
}
