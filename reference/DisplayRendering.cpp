#include "reference/DisplayRendering.hpp"

#include "reference/FrameSamples.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tl {

namespace {

constexpr double knee = 0.75;
constexpr int tableSize = 4096;

double brightest(const cv::Mat& radiance) {
    const cv::Mat samples = sampleGrid(radiance);
    std::vector<float> largest;
    largest.reserve(samples.total());
    const int channels = samples.channels();
    for (int y = 0; y < samples.rows; ++y) {
        const float* row = samples.ptr<float>(y);
        for (int x = 0; x < samples.cols; ++x)
            largest.push_back(*std::max_element(row + x * channels, row + (x + 1) * channels));
    }
    if (largest.empty()) return 1;
    const auto at = largest.begin() + static_cast<long>(static_cast<double>(largest.size() - 1) * 0.999);
    std::nth_element(largest.begin(), at, largest.end());
    return std::max(1.0, static_cast<double>(*at));
}

// The shoulder's rate a, for which knee + (1 - knee)(1 - e^(-a(x - knee))) / (1 - e^(-a(white - knee)))
// starts with slope 1: a (1 - knee) = 1 - e^(-a (white - knee)).
double shoulderRate(double white) {
    double low = 1e-9, high = 1e3;
    for (int i = 0; i < 200; ++i) {
        const double a = (low + high) / 2;
        (a * (1 - knee) < 1 - std::exp(-a * (white - knee)) ? low : high) = a;
    }
    return (low + high) / 2;
}

double rolledOff(double x, double white, double rate) {
    if (x <= knee || white <= 1.0001) return std::min(x, 1.0);
    if (x >= white) return 1;
    return knee + (1 - knee) * (1 - std::exp(-rate * (x - knee))) / (1 - std::exp(-rate * (white - knee)));
}

double srgbEncode(double v) { return v <= 0.0031308 ? 12.92 * v : 1.055 * std::pow(v, 1 / 2.4) - 0.055; }

// Display value of light x in channel, tabulated on the square root of x / white (dense in the shadows).
std::vector<float> displayTable(double white, const std::optional<CameraResponse>& curve, int channel) {
    const double rate = shoulderRate(white);
    std::vector<float> table(tableSize + 1);
    for (int i = 0; i <= tableSize; ++i) {
        const double root = static_cast<double>(i) / tableSize;
        const double y = rolledOff(root * root * white, white, rate);
        table[static_cast<std::size_t>(i)] = static_cast<float>(curve ? curve->code(y, channel) / 255 : srgbEncode(y));
    }
    return table;
}

} // namespace

cv::Mat renderForDisplay(const cv::Mat& radiance, const std::optional<CameraResponse>& cameraCurve) {
    const double white = brightest(radiance);
    const int channels = radiance.channels();
    std::vector<std::vector<float>> tables;
    for (int c = 0; c < channels; ++c) tables.push_back(displayTable(white, cameraCurve, c));
    cv::Mat display(radiance.size(), radiance.type());
    const int perRow = radiance.cols * channels;
    const float toIndex = static_cast<float>(tableSize);
    for (int y = 0; y < radiance.rows; ++y) {
        const float* in = radiance.ptr<float>(y);
        float* out = display.ptr<float>(y);
        for (int x = 0; x < perRow; ++x) {
            const float position = std::sqrt(std::clamp(in[x] / static_cast<float>(white), 0.0f, 1.0f)) * toIndex;
            const int i = std::min(static_cast<int>(position), tableSize - 1);
            const float t = position - static_cast<float>(i);
            // a + (b - a) t: exact where the table is flat, so that the values never fall back.
            const std::vector<float>& table = tables[static_cast<std::size_t>(x % channels)];
            const float a = table[static_cast<std::size_t>(i)], b = table[static_cast<std::size_t>(i) + 1];
            out[x] = a + (b - a) * t;
        }
    }
    return display;
}

} // namespace tl
