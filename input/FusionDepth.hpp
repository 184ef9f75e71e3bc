#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The fusion works on 8-bit unsigned, 16-bit unsigned and 32-bit float images; a decoder
// can hand over signed or 32-bit integer samples (DevIL does for FITS files, OpenCV for
// some TIFF files). Rather than leave such an image out of a merge, or accumulate its
// bits as if they were unsigned or float, it is brought to the nearest depth the fusion
// takes:
// - 8-bit and 16-bit signed: 8-bit and 16-bit unsigned, each value kept, values below 0
//   as 0 (a negative sample holds no light);
// - 32-bit signed: 32-bit float divided by 2^31 - 1, so the largest integer is 1.0, the
//   top of the float scale, values below 0 as 0.
// Any other image comes back as it is, without a copy.
cv::Mat toFusionDepth(const cv::Mat& image);

} // namespace tl
