#include "align/FlowRowKernels.hpp"

#include <algorithm>

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "align/FlowRowKernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

namespace tl {

HWY_BEFORE_NAMESPACE();
namespace flow_kernels {
namespace HWY_NAMESPACE {
namespace hn = hwy::HWY_NAMESPACE;

using DF = hn::ScalableTag<float>;
using DI = hn::RebindToSigned<DF>;
using DU = hn::RebindToUnsigned<DF>;

// Where the flow of the pixels x, x + 1, ... of row y points: the whole parts (cvFloor) of
// its coordinates, their fractions, and whether the bilinear square lies inside the image.
struct Targets {
    hn::Vec<DF> dx, dy, fx, fy;
    hn::Vec<DI> x1, y1;
    hn::Mask<DI> inside;
};

HWY_INLINE Targets targetsAt(const float* flow, int x, int y, int width, int height) {
    const DF df;
    const DI di;
    const DU du;
    Targets t;
    hn::LoadInterleaved2(df, flow + 2 * static_cast<size_t>(x), t.dx, t.dy);
    const auto fx = hn::Add(hn::Iota(df, static_cast<float>(x)), t.dx);
    const auto fy = hn::Add(hn::Set(df, static_cast<float>(y)), t.dy);
    t.x1 = hn::ConvertTo(di, hn::Floor(fx));
    t.y1 = hn::ConvertTo(di, hn::Floor(fy));
    t.fx = hn::Sub(fx, hn::ConvertTo(df, t.x1));
    t.fy = hn::Sub(fy, hn::ConvertTo(df, t.y1));
    const auto insideU = hn::And(hn::Lt(hn::BitCast(du, t.x1), hn::Set(du, static_cast<uint32_t>(width - 1))),
                                 hn::Lt(hn::BitCast(du, t.y1), hn::Set(du, static_cast<uint32_t>(height - 1))));
    t.inside = hn::RebindMask(di, insideU);
    return t;
}

// The four values around a pixel's target in one coefficient plane of the second
// expansion: top[0], top[1], bottom[0], bottom[1].
struct Corners {
    hn::Vec<DF> top0, top1, bottom0, bottom1;
};

// The bilinear weights of the targets' fractions.
struct Weights {
    hn::Vec<DF> a00, a01, a10, a11;

    explicit Weights(const Targets& t) {
        const auto one = hn::Set(DF(), 1.0f);
        const auto gx = hn::Sub(one, t.fx), gy = hn::Sub(one, t.fy);
        a00 = hn::Mul(gx, gy);
        a01 = hn::Mul(t.fx, gy);
        a10 = hn::Mul(gx, t.fy);
        a11 = hn::Mul(t.fx, t.fy);
    }
    // The reference's a00 * top[0] + a01 * top[1] + a10 * bottom[0] + a11 * bottom[1],
    // left to right.
    hn::Vec<DF> of(const Corners& c) const {
        return hn::Add(hn::Add(hn::Add(hn::Mul(a00, c.top0), hn::Mul(a01, c.top1)), hn::Mul(a10, c.bottom0)),
                       hn::Mul(a11, c.bottom1));
    }
};

// Corners gathered lane by lane: any targets in the ring. Lanes outside it read the
// ring's first elements, which are always there, and are not used.
struct GatheredSquare {
    const float* base;
    size_t planeLength;
    hn::Vec<DI> top, bottom;

    GatheredSquare(const Targets& t, const ExpansionRing& ring, hn::Mask<DI> inRing, size_t planeLength)
        : base(ring.base), planeLength(planeLength) {
        const DI di;
        const auto row = hn::IfThenElseZero(inRing, hn::Sub(t.y1, hn::Set(di, ring.lowest)));
        const auto column = hn::IfThenElseZero(inRing, t.x1);
        top = hn::Add(hn::GatherIndex(di, ring.offsets, row), column);
        bottom = hn::Add(hn::GatherIndex(di, ring.offsets, hn::IfThenElseZero(inRing, hn::Add(row, hn::Set(di, 1)))),
                         column);
    }
    Corners at(int k) const {
        const DF df;
        const float* plane = base + static_cast<size_t>(k) * planeLength;
        return {hn::GatherIndex(df, plane, top), hn::GatherIndex(df, plane + 1, top),
                hn::GatherIndex(df, plane, bottom), hn::GatherIndex(df, plane + 1, bottom)};
    }
};

// Corners loaded whole: for vectors whose targets (as for a smooth flow) all lie in the
// ring, in two neighbouring rows and at two neighbouring offsets from their pixels. Each
// lane picks its values from three loads of each of the three rows.
struct LoadedSquare {
    const float* rows[3];  // the first target row and the two below, from the first column loaded
    size_t planeLength;
    hn::Mask<DF> firstRow, firstOffset;  // lanes whose target is in the first row, at the first offset

    Corners at(int k) const {
        const size_t plane = static_cast<size_t>(k) * planeLength;
        const Pair first = pairAt(rows[0] + plane), second = pairAt(rows[1] + plane), third = pairAt(rows[2] + plane);
        return {hn::IfThenElse(firstRow, first.left, second.left), hn::IfThenElse(firstRow, first.right, second.right),
                hn::IfThenElse(firstRow, second.left, third.left), hn::IfThenElse(firstRow, second.right, third.right)};
    }

private:
    struct Pair {
        hn::Vec<DF> left, right;
    };
    // Each lane's value at its target column and the next, in one row.
    Pair pairAt(const float* p) const {
        const DF df;
        const auto l0 = hn::LoadU(df, p), l1 = hn::LoadU(df, p + 1), l2 = hn::LoadU(df, p + 2);
        return {hn::IfThenElse(firstOffset, l0, l1), hn::IfThenElse(firstOffset, l1, l2)};
    }
};

// Whether the targets of pixels x, x + 1, ... can be loaded whole; sets square if so.
HWY_INLINE bool loadable(const Targets& t, hn::Mask<DI> inRing, int x, int width, const ExpansionRing& ring,
                         LoadedSquare& square) {
    const DI di;
    const int n = static_cast<int>(hn::Lanes(di));
    if (!hn::AllTrue(di, inRing)) return false;
    const auto offset = hn::Sub(t.x1, hn::Iota(di, x));
    const int offsetLow = hn::GetLane(hn::MinOfLanes(di, offset)), offsetHigh = hn::GetLane(hn::MaxOfLanes(di, offset));
    const int rowLow = hn::GetLane(hn::MinOfLanes(di, t.y1)), rowHigh = hn::GetLane(hn::MaxOfLanes(di, t.y1));
    const int first = x + offsetLow;
    if (offsetHigh - offsetLow > 1 || rowHigh - rowLow > 1 || first < 0 || first + n + 1 >= width) return false;
    // All lanes in the ring: rows rowLow .. rowHigh + 1 are in it.
    const auto rowAt = [&](int row) { return ring.base + ring.offsets[row - ring.lowest] + first; };
    square.rows[0] = rowAt(rowLow);
    square.rows[1] = rowAt(rowLow + 1);
    square.rows[2] = rowHigh > rowLow ? rowAt(rowLow + 2) : square.rows[1];
    square.planeLength = static_cast<size_t>(width);
    square.firstRow = hn::RebindMask(DF(), hn::Eq(t.y1, hn::Set(di, rowLow)));
    square.firstOffset = hn::RebindMask(DF(), hn::Eq(offset, hn::Set(di, offsetLow)));
    return true;
}

// The five system terms of the pixels x, x + 1, ... into terms (plane by plane, a vector
// each), with their targets' corners from square.
template <typename Square>
HWY_INLINE void systemTerms(const float* R0, size_t w, int x, const Targets& t, const Square& square, float* terms) {
    const DF df;
    const size_t n = hn::Lanes(df);
    const auto half = hn::Set(df, 0.5f), quarter = hn::Set(df, 0.25f);
    const Weights weights(t);
    const auto inside = hn::RebindMask(df, t.inside);
    const auto r0 = [&](size_t k) { return hn::LoadU(df, R0 + k * w + x); };
    const auto r1 = [&](int k) { return weights.of(square.at(k)); };

    const auto r4 = hn::IfThenElse(inside, hn::Mul(hn::Add(r0(2), r1(2)), half), r0(2));
    const auto r5 = hn::IfThenElse(inside, hn::Mul(hn::Add(r0(3), r1(3)), half), r0(3));
    const auto r6 = hn::IfThenElse(inside, hn::Mul(hn::Add(r0(4), r1(4)), quarter), hn::Mul(r0(4), half));
    auto r2 = hn::Mul(hn::Sub(r0(0), hn::IfThenElseZero(inside, r1(0))), half);
    auto r3 = hn::Mul(hn::Sub(r0(1), hn::IfThenElseZero(inside, r1(1))), half);
    r2 = hn::Add(r2, hn::Add(hn::Mul(r4, t.dy), hn::Mul(r6, t.dx)));
    r3 = hn::Add(r3, hn::Add(hn::Mul(r6, t.dy), hn::Mul(r5, t.dx)));

    hn::Store(hn::Add(hn::Mul(r4, r4), hn::Mul(r6, r6)), df, terms);
    hn::Store(hn::Mul(hn::Add(r4, r5), r6), df, terms + n);
    hn::Store(hn::Add(hn::Mul(r5, r5), hn::Mul(r6, r6)), df, terms + 2 * n);
    hn::Store(hn::Add(hn::Mul(r4, r2), hn::Mul(r6, r3)), df, terms + 3 * n);
    hn::Store(hn::Add(hn::Mul(r6, r2), hn::Mul(r5, r3)), df, terms + 4 * n);
}

int FlowMatrixSpan(const FlowRow& row, const ExpansionRing& ring, int begin, int end, int* missed) {
    const float *R0 = row.R0, *flow = row.flow;
    float* M = row.M;
    const int y = row.y, width = row.width, height = row.height;
    const DF df;
    const DI di;
    const int n = static_cast<int>(hn::Lanes(df));
    int count = 0;
    if (end - begin < n) {
        for (int x = begin; x < end; ++x) missed[count++] = x;
        return count;
    }
    const size_t w = static_cast<size_t>(width);
    HWY_ALIGN float terms[5 * hn::MaxLanes(df)];
    HWY_ALIGN int32_t far[hn::MaxLanes(df)];
    for (int next = begin; next < end; next += n) {
        // The last vector ends at end; its lanes before next were done already.
        const int x = std::min(next, end - n);
        const Targets t = targetsAt(flow, x, y, width, height);
        const auto inRing = hn::And(t.inside, hn::And(hn::Gt(t.y1, hn::Set(di, ring.lowest - 1)),
                                                      hn::Lt(t.y1, hn::Set(di, ring.highest))));
        LoadedSquare loaded;
        if (loadable(t, inRing, x, width, ring, loaded))
            systemTerms(R0, w, x, t, loaded, terms);
        else
            systemTerms(R0, w, x, t, GatheredSquare(t, ring, inRing, w), terms);
        float* out = M + static_cast<size_t>(x) * 5;
        for (int i = 0; i < n; ++i)
            for (int k = 0; k < 5; ++k) out[i * 5 + k] = terms[k * n + i];

        const auto farLanes = hn::AndNot(hn::FirstN(di, static_cast<size_t>(next - x)), hn::AndNot(inRing, t.inside));
        if (hn::AllFalse(di, farLanes)) continue;
        hn::Store(hn::VecFromMask(di, farLanes), di, far);
        for (int i = 0; i < n; ++i)
            if (far[i] != 0) missed[count++] = x + i;
    }
    return count;
}

SampledRows SampledRowsOf(const float* flow, int y, int width, int height) {
    const DF df;
    const DI di;
    const int n = static_cast<int>(hn::Lanes(df));
    auto lowest = hn::Set(di, height), highest = hn::Set(di, -1);
    int x = 0;
    for (; x + n <= width; x += n) {
        const Targets t = targetsAt(flow, x, y, width, height);
        lowest = hn::Min(lowest, hn::IfThenElse(t.inside, t.y1, hn::Set(di, height)));
        highest = hn::Max(highest, hn::IfThenElse(t.inside, hn::Add(t.y1, hn::Set(di, 1)), hn::Set(di, -1)));
    }
    SampledRows rows{hn::GetLane(hn::MinOfLanes(di, lowest)), hn::GetLane(hn::MaxOfLanes(di, highest))};
    for (; x < width; x++) {
        const float fx = x + flow[x * 2], fy = y + flow[x * 2 + 1];
        const int x1 = cvFloor(fx), y1 = cvFloor(fy);
        if ((unsigned)x1 < (unsigned)(width - 1) && (unsigned)y1 < (unsigned)(height - 1)) {
            rows.lowest = std::min(rows.lowest, y1);
            rows.highest = std::max(rows.highest, y1 + 1);
        }
    }
    return rows;
}

void AddColumnDifferences(double* sums, double* copy, const float* entering, const float* leaving, int count) {
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> dh;
    const int n = static_cast<int>(hn::Lanes(dd));
    int x = 0;
    for (; x + n <= count; x += n) {
        const auto difference = hn::Sub(hn::LoadU(dh, entering + x), hn::LoadU(dh, leaving + x));
        const auto sum = hn::Add(hn::LoadU(dd, sums + x), hn::PromoteTo(dd, difference));
        hn::StoreU(sum, dd, sums + x);
        hn::StoreU(sum, dd, copy + x);
    }
    for (; x < count; x++) copy[x] = sums[x] += entering[x] - leaving[x];
}

// The flow of pixels of a row from their window sums (five arrays of count values).
void solvePixels(const double* const* sums, int count, double scale, float* flow) {
    const hn::ScalableTag<double> dd;
    const hn::Rebind<float, decltype(dd)> dh;
    const int n = static_cast<int>(hn::Lanes(dd));
    const auto scaleV = hn::Set(dd, scale), one = hn::Set(dd, 1.0), epsilon = hn::Set(dd, 1e-3);
    int i = 0;
    for (; i + n <= count; i += n) {
        const auto g11 = hn::Mul(hn::LoadU(dd, sums[0] + i), scaleV);
        const auto g12 = hn::Mul(hn::LoadU(dd, sums[1] + i), scaleV);
        const auto g22 = hn::Mul(hn::LoadU(dd, sums[2] + i), scaleV);
        const auto h1 = hn::Mul(hn::LoadU(dd, sums[3] + i), scaleV);
        const auto h2 = hn::Mul(hn::LoadU(dd, sums[4] + i), scaleV);
        const auto idet = hn::Div(one, hn::Add(hn::Sub(hn::Mul(g11, g22), hn::Mul(g12, g12)), epsilon));
        const auto u = hn::DemoteTo(dh, hn::Mul(hn::Sub(hn::Mul(g11, h2), hn::Mul(g12, h1)), idet));
        const auto v = hn::DemoteTo(dh, hn::Mul(hn::Sub(hn::Mul(g22, h1), hn::Mul(g12, h2)), idet));
        hn::StoreInterleaved2(u, v, dh, flow + 2 * static_cast<size_t>(i));
    }
    for (; i < count; i++) {
        const double g11 = sums[0][i] * scale, g12 = sums[1][i] * scale, g22 = sums[2][i] * scale;
        const double h1 = sums[3][i] * scale, h2 = sums[4][i] * scale;
        const double idet = 1. / (g11 * g22 - g12 * g12 + 1e-3);
        flow[i * 2] = (float)((g11 * h2 - g12 * h1) * idet);
        flow[i * 2 + 1] = (float)((g22 * h1 - g12 * h2) * idet);
    }
}

void SolveFlowRow(const double* vsum, int width, int m, double scale, float* flow) {
    double g11 = vsum[0] * (m + 2), g12 = vsum[1] * (m + 2), g22 = vsum[2] * (m + 2);
    double h1 = vsum[3] * (m + 2), h2 = vsum[4] * (m + 2);
    for (int x = 1; x < m; x++) {
        g11 += vsum[x * 5];
        g12 += vsum[x * 5 + 1];
        g22 += vsum[x * 5 + 2];
        h1 += vsum[x * 5 + 3];
        h2 += vsum[x * 5 + 4];
    }
    // The window sums run along the row a chunk at a time; each chunk is then solved
    // across pixels.
    constexpr int kChunk = 64;
    HWY_ALIGN double chunk[5][kChunk];
    const double* const sums[5] = {chunk[0], chunk[1], chunk[2], chunk[3], chunk[4]};
    for (int x0 = 0; x0 < width; x0 += kChunk) {
        const int count = std::min(kChunk, width - x0);
        const double* entering = vsum + (x0 + m) * 5;
        const double* leaving = vsum + (x0 - m) * 5 - 5;
        for (int i = 0; i < count; i++, entering += 5, leaving += 5) {
            chunk[0][i] = g11 += entering[0] - leaving[0];
            chunk[1][i] = g12 += entering[1] - leaving[1];
            chunk[2][i] = g22 += entering[2] - leaving[2];
            chunk[3][i] = h1 += entering[3] - leaving[3];
            chunk[4][i] = h2 += entering[4] - leaving[4];
        }
        solvePixels(sums, count, scale, flow + 2 * static_cast<size_t>(x0));
    }
}

} // namespace HWY_NAMESPACE
} // namespace flow_kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace flow_kernels {
HWY_EXPORT(FlowMatrixSpan);
HWY_EXPORT(SampledRowsOf);
HWY_EXPORT(AddColumnDifferences);
HWY_EXPORT(SolveFlowRow);
} // namespace flow_kernels

int flowMatrixSpan(const FlowRow& row, const ExpansionRing& ring, int begin, int end, int* missed) {
    return HWY_DYNAMIC_DISPATCH(flow_kernels::FlowMatrixSpan)(row, ring, begin, end, missed);
}

SampledRows sampledRows(const float* flow, int y, int width, int height) {
    return HWY_DYNAMIC_DISPATCH(flow_kernels::SampledRowsOf)(flow, y, width, height);
}

void addColumnDifferences(double* sums, double* copy, const float* entering, const float* leaving, int count) {
    HWY_DYNAMIC_DISPATCH(flow_kernels::AddColumnDifferences)(sums, copy, entering, leaving, count);
}

void solveFlowRow(const double* sums, int width, int m, double scale, float* flow) {
    HWY_DYNAMIC_DISPATCH(flow_kernels::SolveFlowRow)(sums, width, m, scale, flow);
}
#endif

} // namespace tl
