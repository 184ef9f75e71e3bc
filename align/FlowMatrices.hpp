#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The per-pixel system of the flow update: for row y, with the first image's expansion
// R0 at the pixel and the second's R1 sampled bilinearly where the current flow points,
// the five terms G11, G12, G22, h1, h2 that the box-filtered solve divides out. Pixels
// within five of the image's border are damped as OpenCV's dense flow damps them.
// Arithmetic and its order are the reference's, in float.
//
// Rows of R0 and R1 are five planes of `width` floats, one per coefficient.
// r1Rows(r, x) gives rows r and r + 1 of R1 (0 <= r < height - 1), of which at least
// columns x and x + 1 must hold their values.
struct RowPair {
    const float *top, *bottom;
};

constexpr int flowBorder = 5;  // pixels this close to an edge are damped

// One row y of the update, as every kernel of a row takes it first: the first image's
// expansion R0 at the row, the row's current flow (dx and dy per pixel) and the row of
// terms M (five per pixel) that the kernel writes.
struct FlowRow {
    const float* R0;
    const float* flow;
    float* M;
    int y, width, height;
};

// How much the terms of pixel (x, y) are damped: 1 away from the border.
inline float borderDamping(int x, int y, int width, int height) {
    constexpr int BORDER = flowBorder;
    static const float border[BORDER] = {0.14f, 0.14f, 0.4472f, 0.4472f, 0.4472f};
    return (x < BORDER ? border[x] : 1.f) * (x >= width - BORDER ? border[width - x - 1] : 1.f) *
           (y < BORDER ? border[y] : 1.f) * (y >= height - BORDER ? border[height - y - 1] : 1.f);
}

// Pixel x of the row.
template <typename R1Rows>
inline void flowMatrixPixel(const FlowRow& row, R1Rows r1Rows, int x) {
    const float *R0 = row.R0, *flow = row.flow;
    float* M = row.M;
    const int y = row.y, width = row.width, height = row.height;
    constexpr int BORDER = flowBorder;
    const size_t w = static_cast<size_t>(width);
    float dx = flow[x * 2], dy = flow[x * 2 + 1];
    float fx = x + dx, fy = y + dy;

    int x1 = cvFloor(fx), y1 = cvFloor(fy);
    float r2, r3, r4, r5, r6;

    fx -= x1;
    fy -= y1;

    if ((unsigned)x1 < (unsigned)(width - 1) && (unsigned)y1 < (unsigned)(height - 1)) {
        const RowPair rows = r1Rows(y1, x1);
        const float* top = rows.top + x1;
        const float* bottom = rows.bottom + x1;
        float a00 = (1.f - fx) * (1.f - fy), a01 = fx * (1.f - fy), a10 = (1.f - fx) * fy, a11 = fx * fy;

        r2 = a00 * top[0] + a01 * top[1] + a10 * bottom[0] + a11 * bottom[1];
        r3 = a00 * top[w] + a01 * top[w + 1] + a10 * bottom[w] + a11 * bottom[w + 1];
        r4 = a00 * top[2 * w] + a01 * top[2 * w + 1] + a10 * bottom[2 * w] + a11 * bottom[2 * w + 1];
        r5 = a00 * top[3 * w] + a01 * top[3 * w + 1] + a10 * bottom[3 * w] + a11 * bottom[3 * w + 1];
        r6 = a00 * top[4 * w] + a01 * top[4 * w + 1] + a10 * bottom[4 * w] + a11 * bottom[4 * w + 1];

        r4 = (R0[2 * w + x] + r4) * 0.5f;
        r5 = (R0[3 * w + x] + r5) * 0.5f;
        r6 = (R0[4 * w + x] + r6) * 0.25f;
    } else {
        r2 = r3 = 0.f;
        r4 = R0[2 * w + x];
        r5 = R0[3 * w + x];
        r6 = R0[4 * w + x] * 0.5f;
    }

    r2 = (R0[x] - r2) * 0.5f;
    r3 = (R0[w + x] - r3) * 0.5f;

    r2 += r4 * dy + r6 * dx;
    r3 += r6 * dy + r5 * dx;

    if ((unsigned)(x - BORDER) >= (unsigned)(width - BORDER * 2) ||
        (unsigned)(y - BORDER) >= (unsigned)(height - BORDER * 2)) {
        const float scale = borderDamping(x, y, width, height);
        r2 *= scale;
        r3 *= scale;
        r4 *= scale;
        r5 *= scale;
        r6 *= scale;
    }

    M[x * 5] = r4 * r4 + r6 * r6;      // G(1,1)
    M[x * 5 + 1] = (r4 + r5) * r6;     // G(1,2) = G(2,1)
    M[x * 5 + 2] = r5 * r5 + r6 * r6;  // G(2,2)
    M[x * 5 + 3] = r4 * r2 + r6 * r3;  // h(1)
    M[x * 5 + 4] = r6 * r2 + r5 * r3;  // h(2)
}

// Pixels [begin, end) of the row.
template <typename R1Rows>
void flowMatrixRow(const FlowRow& row, R1Rows r1Rows, int begin, int end) {
    for (int x = begin; x < end; x++) flowMatrixPixel(row, r1Rows, x);
}

// Rows of R1 that row y's pixels sample: [lowest, highest] over the pixels whose flow
// lands inside; lowest > highest when none does.
struct SampledRows {
    int lowest, highest;
};
SampledRows sampledRows(const float* flow, int y, int width, int height);

} // namespace tl
