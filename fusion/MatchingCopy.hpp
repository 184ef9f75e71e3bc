#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The 8-bit copy of an image on which patches are matched, whatever the image's depth:
// 8-bit images are shared as they are; 16-bit elements are scaled by 1/257 and float
// elements by 255 / (the image's largest element), each truncated toward zero. A float
// image whose largest element is not positive and finite gets an all-zero copy.
// Other depths give an empty image.
cv::Mat matchingCopy(const cv::Mat& image);

} // namespace tl
