#pragma once

#include <opencv2/core.hpp>

namespace tl {

// Copies the image bound in DevIL into a new OpenCV image at the element type of its
// data: colour comes back as 3 channels B, G, R (alpha dropped), grey as 1 channel (a
// grey + alpha image as its grey channel alone), rows top first. Palette images are
// expanded to 8-bit RGB first, which changes the bound image. An empty image for a data
// type or layout that has no OpenCV counterpart.
cv::Mat convertDevILImage();

} // namespace tl
