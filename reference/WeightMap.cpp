#include "reference/WeightMap.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace tl {

namespace {

// Enough smoothing to take the weight's noise down several times, little enough to follow
// the scene's edges within a few reduced pixels.
constexpr double smoothingSigma = 3;

} // namespace

cv::Mat weightMap(const cv::Mat& reducedLight, const SampleReading& reading) {
    cv::Mat light;
    cv::GaussianBlur(reducedLight, light, cv::Size(), smoothingSigma);
    const int channels = light.channels();
    for (int y = 0; y < light.rows; ++y) {
        float* row = light.ptr<float>(y);
        for (int x = 0; x < light.cols * channels; ++x)
            row[x] = std::max(reading.risingWeightOfLight(row[x], x % channels), leastWeight);
    }
    return light;
}

} // namespace tl
