#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tl {

namespace {

constexpr int knotCount = 256;
constexpr std::size_t middleKnot = 128;

double srgbDecode(double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); }

// Every knot at least a little above the one before it, so that the curve can be inverted.
void makeIncreasing(std::vector<double>& knots) {
    for (std::size_t k = 1; k < knots.size(); ++k) knots[k] = std::max(knots[k], knots[k - 1] + 1e-9);
}

} // namespace

CameraResponse CameraResponse::standard() {
    std::vector<double> knots(knotCount);
    for (int k = 0; k < knotCount; ++k) knots[static_cast<std::size_t>(k)] = srgbDecode(k / 255.0);
    return CameraResponse({std::move(knots)}, false);
}

CameraResponse CameraResponse::fromLogKnots(const std::vector<double>& log2Light, int firstTrusted) {
    CV_Assert(log2Light.size() == knotCount && firstTrusted > 0 && firstTrusted < knotCount);
    std::vector<double> knots(knotCount);
    const double top = log2Light.back();
    for (int k = 0; k < knotCount; ++k)
        knots[static_cast<std::size_t>(k)] = std::exp2(log2Light[static_cast<std::size_t>(k)] - top);
    // The log curve never reaches black: below the codes the frames told, the light goes
    // straight to 0, as a sensor's does.
    const double trusted = knots[static_cast<std::size_t>(firstTrusted)];
    for (int k = 0; k < firstTrusted; ++k) knots[static_cast<std::size_t>(k)] = trusted * k / firstTrusted;
    makeIncreasing(knots);
    // The top of a fitted curve rests on the few codes below the clip level; its middle on
    // most of the frames. The scale is set where the curve is surest: at the middle code it
    // gives the light the standard curve gives there.
    const double scale = knots[middleKnot] / standard().light(static_cast<double>(middleKnot), 0);
    for (double& knot : knots) knot /= scale;
    return CameraResponse({std::move(knots)}, true);
}

CameraResponse CameraResponse::perChannel(const std::vector<CameraResponse>& curves) {
    CV_Assert(!curves.empty());
    std::vector<std::vector<double>> knots;
    bool fitted = false;
    for (const CameraResponse& curve : curves) {
        knots.push_back(curve.curves.front());
        fitted = fitted || curve.isFitted;
    }
    return CameraResponse(std::move(knots), fitted);
}

const std::vector<double>& CameraResponse::knotsOf(int channel) const {
    return curves[std::min(static_cast<std::size_t>(std::max(channel, 0)), curves.size() - 1)];
}

double CameraResponse::light(double u, int channel) const {
    const std::vector<double>& knots = knotsOf(channel);
    const double clamped = std::clamp(u, 0.0, 255.0);
    const int k = std::min(static_cast<int>(clamped), knotCount - 2);
    const double t = clamped - k;
    return knots[static_cast<std::size_t>(k)] * (1 - t) + knots[static_cast<std::size_t>(k) + 1] * t;
}

double CameraResponse::code(double light, int channel) const {
    const std::vector<double>& knots = knotsOf(channel);
    if (light <= knots.front()) return 0;
    if (light >= knots.back()) return 255;
    const auto above = std::upper_bound(knots.begin(), knots.end(), light);
    const auto k = static_cast<std::size_t>(above - knots.begin()) - 1;
    return static_cast<double>(k) + (light - knots[k]) / (knots[k + 1] - knots[k]);
}

std::vector<float> CameraResponse::table(int depth, int channel) const {
    const int top = depth == CV_16U ? 65535 : 255;
    std::vector<float> lights(static_cast<std::size_t>(top) + 1);
    for (int v = 0; v <= top; ++v) lights[static_cast<std::size_t>(v)] = static_cast<float>(light(v * 255.0 / top, channel));
    return lights;
}

} // namespace tl
