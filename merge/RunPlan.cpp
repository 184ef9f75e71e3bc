#include "merge/RunPlan.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {
constexpr int minimumRadius = 17;  // 2h + 1 with the patch half-size h = 8
}

std::vector<int> visitingOrder(int instantIndex, int count) {
    std::vector<int> order{instantIndex};
    for (int h = 1; instantIndex + h < count || instantIndex - h >= 0; ++h) {
        if (instantIndex + h < count) order.push_back(instantIndex + h);
        if (instantIndex - h >= 0) order.push_back(instantIndex - h);
    }
    return order;
}

int searchRadiusFor(int rows, int cols, float ghostingPower) {
    if (ghostingPower < 0) return -1;
    // Single precision on purpose: the radius is truncated from the float product.
    const float side = static_cast<float>(std::max(rows, cols));
    const float radius = side * ghostingPower / 100;
    if (std::isnan(radius)) return minimumRadius;
    // No displacement reaches further than the larger side, so a larger radius finds
    // nothing more; the cap also keeps a huge percentage from overflowing the int.
    const float largest = std::max(side, static_cast<float>(minimumRadius));
    return static_cast<int>(std::clamp(radius, static_cast<float>(minimumRadius), largest));
}

int bitsPerChannel(const cv::Mat& image) { return 8 * static_cast<int>(image.elemSize1()); }

} // namespace tl
