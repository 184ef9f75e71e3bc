#include "align/PolynomialExpansion.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

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

// The weights of the sums, each centred on its middle element: the Gaussian, the odd one
// (the Gaussian times the offset) and the square one (times the offset squared).
struct Weights {
    const float *gaussian, *odd, *square;
};

// One column's or one row's sums in the three planes of those weights.
struct ColumnSums {
    float gaussian, odd, square;
};
template <typename Float> struct SumPlanes {
    Float *gaussian, *odd, *square;
};

// The five coefficient planes of an expanded row.
struct CoefficientPlanes {
    float* plane[5];
};
struct Coefficients {
    float value[5];
};

// One column's vertical sums for the three planes. above[k] and below[k] are the rows k
// above and below.
TL_INLINE ColumnSums verticalAt(const float* const* above, const float* const* below, int x, Weights weights) {
    const float *g = weights.gaussian, *xg = weights.odd, *xxg = weights.square;
    float t0 = above[0][x] * g[0];
    float t1 = 0.f;
    float t2 = 0.f;
    for (int k = 1; k <= n; k++) {
        float p = above[k][x] + below[k][x];
        t0 = t0 + g[k] * p;
        t1 = t1 + xg[k] * (below[k][x] - above[k][x]);
        t2 = t2 + xxg[k] * p;
    }
    return {t0, t1, t2};
}

struct InverseGram {
    double ig11, ig03, ig33, ig55;
};

// One pixel's horizontal sums over the three planes and its five coefficients.
TL_INLINE Coefficients horizontalAt(SumPlanes<const float> planes, int x, Weights weights,
                                    InverseGram inv) {
    const float *plane0 = planes.gaussian, *plane1 = planes.odd, *plane2 = planes.square;
    const float *g = weights.gaussian, *xg = weights.odd, *xxg = weights.square;
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
    return {{(float)(b3 * inv.ig11), (float)(b2 * inv.ig11), (float)(b1 * inv.ig03 + b5 * inv.ig33),
             (float)(b1 * inv.ig03 + b4 * inv.ig33), (float)(b6 * inv.ig55)}};
}

void neighbourRows(const float* const* rows, const float** above, const float** below) {
    for (int k = 0; k <= n; k++) {
        above[k] = rows[n - k];
        below[k] = rows[n + k];
    }
}

// The vertical sums of a whole row into three planes. The output planes overlap nothing
// the loop reads; ivdep tells the vectoriser so, which the restrict-qualified locals alone
// do not (parameters would, but there are more of them than a call should take).
TL_INLINE void verticalRow(const float* const* rows, int width, const Weights& weights, SumPlanes<float> out) {
    const float* above[n + 1];
    const float* below[n + 1];
    neighbourRows(rows, above, below);
    float* __restrict plane0 = out.gaussian;
    float* __restrict plane1 = out.odd;
    float* __restrict plane2 = out.square;
#pragma GCC ivdep
    for (int x = 0; x < width; x++) {
        const ColumnSums sums = verticalAt(above, below, x, weights);
        plane0[x] = sums.gaussian;
        plane1[x] = sums.odd;
        plane2[x] = sums.square;
    }
}

// The horizontal sums and coefficients of a whole row, into five planes. The three
// planes have n pixels of border on each side.
TL_INLINE void horizontalRow(SumPlanes<const float> planes, int width, const Weights& weights,
                             InverseGram inv, CoefficientPlanes out) {
    float* __restrict c0 = out.plane[0];
    float* __restrict c1 = out.plane[1];
    float* __restrict c2 = out.plane[2];
    float* __restrict c3 = out.plane[3];
    float* __restrict c4 = out.plane[4];
#pragma GCC ivdep
    for (int x = 0; x < width; x++) {
        const Coefficients c = horizontalAt(planes, x, weights, inv);
        c0[x] = c.value[0];
        c1[x] = c.value[1];
        c2[x] = c.value[2];
        c3[x] = c.value[3];
        c4[x] = c.value[4];
    }
}

#define TL_ROW_KERNELS(suffix, attributes)                                                                     \
    attributes void verticalRow##suffix(const float* const* rows, int width, Weights weights,                  \
                                        SumPlanes<float> out) {                                                \
        verticalRow(rows, width, weights, out);                                                                \
    }                                                                                                          \
    attributes void horizontalRow##suffix(SumPlanes<const float> planes, int width, Weights weights,           \
                                          InverseGram inv, CoefficientPlanes out) {                            \
        horizontalRow(planes, width, weights, inv, out);                                                       \
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
    const Weights weights{gaussian + n, xGaussian + n, xxGaussian + n};
    const float* above[n + 1];
    const float* below[n + 1];
    neighbourRows(rows, above, below);
    constexpr int reach = 2 * n + 2;  // columns x - n .. x + 1 + n
    float planes[3][reach];
    for (int i = 0; i < reach; i++) {
        const int column = std::clamp(x - n + i, 0, width - 1);
        const ColumnSums sums = verticalAt(above, below, column, weights);
        planes[0][i] = sums.gaussian;
        planes[1][i] = sums.odd;
        planes[2][i] = sums.square;
    }
    const size_t w = static_cast<size_t>(width);
    const SumPlanes<const float> sums{planes[0] + n, planes[1] + n, planes[2] + n};
    for (int j = 0; j < 2; j++) {
        const Coefficients c = horizontalAt(sums, j, weights, {ig11, ig03, ig33, ig55});
        for (size_t k = 0; k < 5; k++) out[x + j + k * w] = c.value[k];
    }
}

void PolynomialExpansion::expand(const float* const* rows, int width, float* out, std::vector<float>& scratch) const {
    const Weights weights{gaussian + n, xGaussian + n, xxGaussian + n};
    const size_t padded = static_cast<size_t>(width + 2 * n);
    scratch.resize(padded * 3);
    float* planes[3];
    for (int i = 0; i < 3; i++) planes[i] = scratch.data() + padded * i + n;

    const RowKernels& kernels = rowKernels();
    kernels.vertical(rows, width, weights, {planes[0], planes[1], planes[2]});
    for (float* plane : planes) padPlane(plane, width);
    CoefficientPlanes coefficients;
    for (int i = 0; i < 5; i++) coefficients.plane[i] = out + static_cast<size_t>(width) * i;
    kernels.horizontal({planes[0], planes[1], planes[2]}, width, weights, {ig11, ig03, ig33, ig55}, coefficients);
}

} // namespace tl
