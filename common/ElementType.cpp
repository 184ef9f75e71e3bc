#include "common/ElementType.hpp"

namespace tl {

double largestElement(const cv::Mat& image) {
    double largest = 0;
    if (!image.empty()) cv::minMaxLoc(image.reshape(1), nullptr, &largest);
    return largest;
}

} // namespace tl
