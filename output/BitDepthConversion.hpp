#pragma once

#include <opencv2/core.hpp>

namespace tl {

// Brings image to the requested bits per channel: 16 gives unsigned 16-bit, 32 gives
// 32-bit float (samples 0.0 to 1.0), any other number unsigned 8-bit. A request for
// the bits the image already has returns it sharing its pixels; 64-bit images give an
// empty image. Samples are read as unsigned 8-bit, unsigned 16-bit or 32-bit float by
// their byte size, whatever the signedness of the depth. Float samples are clamped to
// 0.0 to 1.0 (NaN counts as 0) before they are scaled to integers.
cv::Mat convertBitDepth(cv::InputArray image, int requestedBits);

} // namespace tl
