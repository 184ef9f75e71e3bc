#include "input/FusionDepth.hpp"

#include <cstdint>
#include <limits>

namespace tl {

cv::Mat toFusionDepth(const cv::Mat& image) {
    cv::Mat converted;
    switch (image.depth()) {
    case CV_8S: image.convertTo(converted, CV_8U); return converted;   // saturates below 0
    case CV_16S: image.convertTo(converted, CV_16U); return converted; // saturates below 0
    case CV_32S:
        image.convertTo(converted, CV_32F, 1.0 / std::numeric_limits<std::int32_t>::max());
        return cv::max(converted, 0.0);
    default: return image;
    }
}

} // namespace tl
