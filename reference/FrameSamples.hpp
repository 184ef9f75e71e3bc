#pragma once

#include <opencv2/core.hpp>

namespace tl {

// A frame's pixels on a sparse grid (the nearest pixel of every cell), at most about a
// quarter of a million: enough for the statistics that settle exposures and the camera
// response, cheap at any size. The same grid for frames of the same size.
cv::Mat sampleGrid(const cv::Mat& frame);

} // namespace tl
