#include "reference/SampleReading.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tl {

namespace {

// Fractions of the code range: the noise floor, the end of the weight's rising ramp, the
// start of its falling ramp, and the clip level. JPEG ringing keeps clipped areas a few
// codes below the top, hence the clip level below it.
constexpr double floorEnd = 0.012, riseEnd = 0.08, fallStart = 0.85, clipStart = 0.98;
// The codes an exposure estimate compares: well inside the curve, where an assumed curve
// is least wrong.
constexpr double wellLowFraction = 0.1, wellHighFraction = 0.85;

double risingSide(double u) {
    if (u <= floorEnd) return 0;
    return u < riseEnd ? (u - floorEnd) / (riseEnd - floorEnd) : 1;
}

double fallingSide(double u) {
    if (u >= clipStart) return 0;
    return u > fallStart ? (clipStart - u) / (clipStart - fallStart) : 1;
}

} // namespace

SampleReading::SampleReading(int depth, int channels, const CameraResponse& response, const std::vector<float>& balance) {
    CV_Assert(channels >= 1 && channels <= largestChannels);
    for (int c = 0; c < channels; ++c) {
        lights.push_back(response.table(depth, c));
        if (static_cast<std::size_t>(c) < balance.size())
            for (float& light : lights.back()) light *= balance[static_cast<std::size_t>(c)];
    }
    const int top = static_cast<int>(lights.front().size()) - 1;
    for (int v = 0; v <= top; ++v) {
        risingWeights.push_back(static_cast<float>(risingSide(double(v) / top)));
        fallingWeights.push_back(static_cast<float>(fallingSide(double(v) / top)));
    }
    clipCode = static_cast<int>(std::ceil(clipStart * top));
    shoulderCode = static_cast<int>(std::ceil(fallStart * top));
    floorCode = static_cast<int>(std::floor(floorEnd * top));
    wellLowCode = static_cast<int>(std::ceil(wellLowFraction * top));
    wellHighCode = static_cast<int>(std::floor(wellHighFraction * top));
    clipLight = shoulderLight = std::numeric_limits<float>::infinity();
    for (const std::vector<float>& channel : lights) {
        clipLight = std::min(clipLight, channel[static_cast<std::size_t>(clipCode)]);
        shoulderLight = std::min(shoulderLight, channel[static_cast<std::size_t>(shoulderCode)]);
        floorLight = std::max(floorLight, channel[static_cast<std::size_t>(floorCode)]);
    }
}

float SampleReading::risingWeightOfLight(float light, int channel) const {
    if (lights.empty()) return light > floorLight ? 1.0f : 0.0f;
    const std::vector<float>& curve = lights[static_cast<std::size_t>(std::min(channel, static_cast<int>(lights.size()) - 1))];
    const long code = std::upper_bound(curve.begin(), curve.end(), light) - curve.begin() - 1;
    return risingWeights[static_cast<std::size_t>(std::clamp<long>(code, 0, static_cast<long>(curve.size()) - 1))];
}

bool SampleReading::wellExposedLight(float light, int channel) const {
    if (lights.empty()) return light > wellLow && light < wellHigh;
    const std::vector<float>& curve = lights[static_cast<std::size_t>(std::min(channel, static_cast<int>(lights.size()) - 1))];
    return light >= curve[static_cast<std::size_t>(wellLowCode)] && light <= curve[static_cast<std::size_t>(wellHighCode)];
}

SampleReading::SampleReading(const cv::Mat& floatFrame) {
    double largest = 0;
    cv::minMaxLoc(floatFrame.reshape(1), nullptr, &largest);
    const auto atTop = static_cast<double>(cv::countNonZero(floatFrame.reshape(1) >= 0.999 * largest));
    const double samples = static_cast<double>(floatFrame.total()) * floatFrame.channels();
    const bool clips = largest > 0 && atTop >= 0.001 * samples;
    const float top = largest > 0 ? static_cast<float>(largest) : 1.0f;
    clipLight = clips ? 0.999f * top : std::numeric_limits<float>::infinity();
    shoulderLight = clips ? static_cast<float>(fallStart) * top : clipLight;
    floorLight = top * 0x1p-16f;
    wellLow = top * 0x1p-10f;
    wellHigh = 0.9f * top;
}

} // namespace tl
