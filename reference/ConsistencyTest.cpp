#include "reference/ConsistencyTest.hpp"

#include "common/TaskGroup.hpp"
#include "reference/NoiseProfile.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <limits>

namespace tl {

namespace {

constexpr float noiseMultiple = 3.0f;    // k: differences within three spreads are noise
constexpr float responseShare = 0.15f;   // tau: what a fitted curve may be off by

// The frame smoothed over 3 x 3 blocks; a block is clipped where any of its blocks is, and
// dark only where all are.
ReducedFrame smoothed(const ReducedFrame& frame) {
    const cv::Mat box = cv::getStructuringElement(cv::MORPH_RECT, {3, 3});
    ReducedFrame out;
    cv::blur(frame.light, out.light, {3, 3}, {-1, -1}, cv::BORDER_REPLICATE);
    cv::dilate(frame.clipped, out.clipped, box, {-1, -1}, 1, cv::BORDER_REPLICATE);
    cv::erode(frame.dark, out.dark, box, {-1, -1}, 1, cv::BORDER_REPLICATE);
    return out;
}

// The values a smoothed sample allows: exactly its light, at least it or the shoulder's
// start (clipped or in the shoulder), or from 0 up to the floor (dark).
struct Interval {
    float low, high;
};

Interval allowed(float light, bool clipped, bool dark, float floor, float shoulder) {
    if (clipped) return {std::min(light, shoulder), std::numeric_limits<float>::infinity()};
    if (dark) return {0.0f, floor};
    return {light, light};
}

// Where both samples tell their light, the noise profile is measured.
cv::Mat usableSamples(const ReducedFrame& a, const ReducedFrame& b) {
    cv::Mat flagged = a.clipped | a.dark | b.clipped | b.dark;
    return flagged == 0;
}

void scoreRow(const ReducedFrame& instant, const ReducedFrame& frame, const NoiseProfile& noise, ConsistencyLimits limits,
              int y, cv::Mat& score) {
    const int channels = instant.light.channels();
    const float* a = instant.light.ptr<float>(y);
    const float* b = frame.light.ptr<float>(y);
    const std::uint8_t *clipA = instant.clipped.ptr<std::uint8_t>(y), *darkA = instant.dark.ptr<std::uint8_t>(y);
    const std::uint8_t *clipB = frame.clipped.ptr<std::uint8_t>(y), *darkB = frame.dark.ptr<std::uint8_t>(y);
    float* out = score.ptr<float>(y);
    for (int x = 0; x < instant.light.cols; ++x) {
        float worst = 0;
        for (int c = x * channels; c < (x + 1) * channels; ++c) {
            const bool pointA = !clipA[c] && !darkA[c], pointB = !clipB[c] && !darkB[c];
            // The frame's light corrected by the profile's bias only where both are plain values.
            const float corrected = pointA && pointB ? b[c] - noise.bias(a[c]) : b[c];
            const Interval i = allowed(a[c], clipA[c], darkA[c], limits.instantFloor, limits.instantShoulder);
            const Interval j = allowed(corrected, clipB[c], darkB[c], limits.frameFloor, limits.frameShoulder);
            const float gap = std::max({0.0f, j.low - i.high, i.low - j.high});
            const float threshold = noiseMultiple * noise.spread(a[c]) + (responseShare + limits.colourShare) * a[c] + 1e-7f;
            worst = std::max(worst, gap / threshold);
        }
        out[x] = worst;
    }
}

} // namespace

cv::Mat disagreement(const ReducedFrame& instant, const ReducedFrame& frame, ConsistencyLimits limits) {
    CV_Assert(instant.light.channels() <= largestChannels);
    const ReducedFrame a = smoothed(instant), b = smoothed(frame);
    const NoiseProfile noise(a.light, b.light, usableSamples(a, b));
    cv::Mat score(a.light.size(), CV_32F);
    runInSlices(static_cast<std::size_t>(score.rows), 16, [&](std::size_t first, std::size_t last) {
        for (std::size_t y = first; y < last; ++y) scoreRow(a, b, noise, limits, static_cast<int>(y), score);
    });
    return score;
}

} // namespace tl
