#include "fusion/MatchingCopy.hpp"

#include "common/ElementType.hpp"

#include <cmath>
#include <cstdint>

namespace tl {

namespace {

// Truncation toward zero into 0 .. 255; NaN and negative values give 0.
uint8_t truncatedLevel(float v) {
    if (!(v > 0.0f)) return 0;
    if (v >= 255.0f) return 255;
    return static_cast<uint8_t>(v);
}

template <typename T> cv::Mat scaledCopy(const cv::Mat& image, float factor) {
    cv::Mat copy(image.size(), CV_MAKETYPE(CV_8U, image.channels()));
    const int elements = image.cols * image.channels();
    for (int y = 0; y < image.rows; ++y) {
        const T* from = image.ptr<T>(y);
        uint8_t* to = copy.ptr<uint8_t>(y);
        for (int i = 0; i < elements; ++i) to[i] = truncatedLevel(static_cast<float>(from[i]) * factor);
    }
    return copy;
}

} // namespace

cv::Mat matchingCopy(const cv::Mat& image) {
    switch (image.depth()) {
    case CV_8U:
        return image;
    case CV_16U:
        return scaledCopy<uint16_t>(image, 0.0038910506f);  // 1/257: 65535 becomes 255
    case CV_32F: {
        const float m = static_cast<float>(largestElement(image));
        if (!(m > 0.0f) || !std::isfinite(m)) return cv::Mat::zeros(image.size(), CV_MAKETYPE(CV_8U, image.channels()));
        return scaledCopy<float>(image, 255.0f / m);
    }
    default:
        return cv::Mat();
    }
}

} // namespace tl
