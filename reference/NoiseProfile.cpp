#include "reference/NoiseProfile.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr double lowestLog2 = -24, binsPerStop = 3;
constexpr int binCount = 90;                 // up to 6 stops above the instant image's white
constexpr std::size_t fewestBinSamples = 24;    // a bin with fewer borrows its neighbour's figures
constexpr std::size_t enoughSamples = 1 << 19;
// Where something moved over most of the still samples of a bin, the bin's figures would
// call it noise: no response is that far off, and no noise that large after smoothing.
constexpr float largestBias = 0.35f, largestSpread = 0.25f;  // shares of the bin's light

float binLight(int b) { return static_cast<float>(std::exp2(lowestLog2 + (b + 0.5) / binsPerStop)); }

int binOf(float light) {
    const double position = (std::log2(std::max(light, 1e-30f)) - lowestLog2) * binsPerStop;
    return std::clamp(static_cast<int>(position), 0, binCount - 1);
}

float medianOf(std::vector<float>& values) {
    const auto middle = values.begin() + static_cast<long>(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

// Bins without enough samples take the figures of the nearest bin that has them.
void fillGaps(std::vector<float>& figures, const std::vector<bool>& known) {
    for (int b = 0; b < binCount; ++b) {
        if (known[static_cast<std::size_t>(b)]) continue;
        for (int d = 1; d < binCount; ++d) {
            if (b - d >= 0 && known[static_cast<std::size_t>(b - d)]) {
                figures[static_cast<std::size_t>(b)] = figures[static_cast<std::size_t>(b - d)];
                break;
            }
            if (b + d < binCount && known[static_cast<std::size_t>(b + d)]) {
                figures[static_cast<std::size_t>(b)] = figures[static_cast<std::size_t>(b + d)];
                break;
            }
        }
    }
}

} // namespace

NoiseProfile::NoiseProfile(const cv::Mat& instant, const cv::Mat& frame, const cv::Mat& usable)
    : biases(binCount, 0.0f), spreads(binCount, 0.0f) {
    std::vector<std::vector<float>> differences(binCount);
    const int perRow = instant.cols * instant.channels();
    const std::size_t all = instant.total() * static_cast<std::size_t>(instant.channels());
    const int step = static_cast<int>(std::max<std::size_t>(1, all / enoughSamples));
    for (int y = 0; y < instant.rows; ++y) {
        const float* a = instant.ptr<float>(y);
        const float* b = frame.ptr<float>(y);
        const std::uint8_t* ok = usable.ptr<std::uint8_t>(y);
        for (int x = (y * 7) % step; x < perRow; x += step)
            if (ok[x]) differences[static_cast<std::size_t>(binOf(a[x]))].push_back(b[x] - a[x]);
    }
    std::vector<bool> known(binCount, false);
    for (int b = 0; b < binCount; ++b) {
        std::vector<float>& d = differences[static_cast<std::size_t>(b)];
        if (d.size() < fewestBinSamples) continue;
        const float bias = medianOf(d);
        for (float& v : d) v = std::fabs(v - bias);
        const float light = binLight(b);
        biases[static_cast<std::size_t>(b)] = std::clamp(bias, -largestBias * light, largestBias * light);
        spreads[static_cast<std::size_t>(b)] = std::min(1.4826f * medianOf(d), largestSpread * light);
        known[static_cast<std::size_t>(b)] = true;
    }
    fillGaps(biases, known);
    fillGaps(spreads, known);
}

std::size_t NoiseProfile::bin(float light) const { return static_cast<std::size_t>(binOf(light)); }

} // namespace tl
