#pragma once

#include <opencv2/core.hpp>

#include <algorithm>
#include <vector>

namespace tl {

// Quadratic polynomial expansion of an image, row by row: every pixel gets the five
// coefficients (y, x, x², y², xy, the order the flow reads them in) of a polynomial fitted
// to its Gaussian-weighted 11 x 11 neighbourhood (sigma 1.1). The sums are formed exactly
// as OpenCV's dense flow forms them, in the same order and the same precisions, so a
// row computed here is bit for bit the row of its whole-image expansion.
class PolynomialExpansion {
public:
    // OpenCV's "poly_n" of 5 is this radius: the neighbourhood is 11 pixels across.
    static constexpr int radius = 5;

    PolynomialExpansion();

    // Coefficients of row y of an image of `height` rows and `width` columns. rowAt(r)
    // gives row r (0 <= r < height) as `width` floats; out receives 5 * width floats.
    // scratch is the caller's buffer, reused between calls.
    template <typename RowAt>
    void expandRow(RowAt rowAt, int y, int height, int width, float* out, std::vector<float>& scratch) const {
        const float* rows[2 * radius + 1];
        for (int k = -radius; k <= radius; ++k) rows[k + radius] = rowAt(std::clamp(y + k, 0, height - 1));
        expand(rows, width, out, scratch);
    }

    // The coefficients of pixels x and x + 1 (x + 1 < width) of row y alone, at columns x
    // and x + 1 of `out`'s five planes; the same bits as in the whole row.
    template <typename RowAt>
    void expandPixelPair(RowAt rowAt, int y, int x, int height, int width, float* out) const {
        const float* rows[2 * radius + 1];
        for (int k = -radius; k <= radius; ++k) rows[k + radius] = rowAt(std::clamp(y + k, 0, height - 1));
        expandPair(rows, x, width, out);
    }

private:
    void expandPair(const float* const* rows, int x, int width, float* out) const;
    // rows[radius + k] is row y + k with the image's top and bottom rows repeated beyond it.
    void expand(const float* const* rows, int width, float* out, std::vector<float>& scratch) const;

    // Index radius + k holds the value at offset k, -radius <= k <= radius.
    float gaussian[2 * radius + 1];  // Gaussian weights
    float xGaussian[2 * radius + 1];   // x times the weights
    float xxGaussian[2 * radius + 1];  // x² times the weights
    double ig11, ig03, ig33, ig55;  // entries of the inverse Gram matrix of the basis
};

} // namespace tl
