#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The instant image and one exposure aligned onto it, both at full depth, with their
// 8-bit copies on which patches are matched. The copies are empty for an exposure that
// has no ghost pixel, where nothing is matched.
struct ExposurePair {
    cv::Mat instant;
    cv::Mat exposure;
    cv::Mat instantMatching;
    cv::Mat exposureMatching;
};

} // namespace tl
