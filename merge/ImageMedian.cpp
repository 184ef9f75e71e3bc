#include "merge/ImageMedian.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

namespace tl {

namespace {

// About a million samples tell the median of any photograph well enough.
constexpr long long enoughSamples = 1 << 20;

int rowStep(const cv::Mat& image) {
    const long long perRow = static_cast<long long>(image.cols) * image.channels();
    return static_cast<int>(std::max<long long>(1, perRow * image.rows / enoughSamples));
}

// The median of integer samples through a histogram of every value of the depth.
template <typename T> double histogramMedian(const cv::Mat& image, int levels) {
    std::vector<long long> counts(static_cast<std::size_t>(levels), 0);
    long long total = 0;
    const int perRow = image.cols * image.channels();
    const int step = rowStep(image);
    for (int y = 0; y < image.rows; y += step) {
        const T* row = image.ptr<T>(y);
        for (int x = 0; x < perRow; ++x) ++counts[row[x]];
        total += perRow;
    }
    long long seen = 0;
    for (int value = 0; value < levels; ++value) {
        seen += counts[static_cast<std::size_t>(value)];
        if (2 * seen >= total) return value;
    }
    return levels - 1;
}

double floatMedian(const cv::Mat& image) {
    std::vector<float> samples;
    const int perRow = image.cols * image.channels();
    const int step = rowStep(image);
    for (int y = 0; y < image.rows; y += step)
        samples.insert(samples.end(), image.ptr<float>(y), image.ptr<float>(y) + perRow);
    // NaN samples would break the ordering; they carry no brightness.
    samples.erase(std::remove_if(samples.begin(), samples.end(), [](float v) { return std::isnan(v); }),
                  samples.end());
    if (samples.empty()) return 0;
    const auto middle = samples.begin() + static_cast<long>(samples.size() / 2);
    std::nth_element(samples.begin(), middle, samples.end());
    return *middle;
}

double gammaToLinear(double median, double scale) {
    return std::pow(std::max(median, 0.5) / scale, 2.2);
}

} // namespace

std::optional<double> linearMedian(const cv::Mat& image) {
    if (image.empty() || image.dims != 2) return std::nullopt;
    switch (image.depth()) {
    case CV_8U:
        return gammaToLinear(histogramMedian<std::uint8_t>(image, 256), 255);
    case CV_16U:
        return gammaToLinear(histogramMedian<std::uint16_t>(image, 65536), 65535);
    case CV_32F:
        return std::max(floatMedian(image), 0.5 / 65535);
    default:
        return std::nullopt;
    }
}

} // namespace tl
