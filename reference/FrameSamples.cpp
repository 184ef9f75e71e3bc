#include "reference/FrameSamples.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {
constexpr double enoughPixels = 250000;
}

cv::Mat sampleGrid(const cv::Mat& frame) {
    const double pixels = static_cast<double>(frame.total());
    const int stride = std::max(1, static_cast<int>(std::ceil(std::sqrt(pixels / enoughPixels))));
    if (stride == 1) return frame;
    cv::Mat samples;
    cv::resize(frame, samples, cv::Size(frame.cols / stride, frame.rows / stride), 0, 0, cv::INTER_NEAREST);
    return samples;
}

} // namespace tl
