#pragma once

#include <opencv2/core.hpp>

namespace tl {

// A photograph-like B, G, R picture at the given depth (CV_8U or CV_16U): smooth random
// shading with fine grain, which encoders neither collapse (flat areas) nor bloat (pure
// noise). Values stay within 4 % and 76 % of the depth's range before the grain.
cv::Mat grainyScene(cv::Size size, int depth);

} // namespace tl
