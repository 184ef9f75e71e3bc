#pragma once

#include "reference/SampleReading.hpp"

#include <opencv2/core.hpp>

namespace tl {

// A frame at a fraction of its size, as the consistency test reads it: each block of
// factor x factor pixels (smaller at the right and bottom edges) as the mean light of its
// samples, brought onto the instant image's scale by gain, and per channel whether any
// sample of the block is clipped or near it (in the curve's shoulder, where the light is
// only known to be at least what the curve says) and whether every one is in the noise floor.
struct ReducedFrame {
    cv::Mat light;    // CV_32FC(channels)
    cv::Mat clipped;  // CV_8UC(channels), 255 or 0
    cv::Mat dark;     // CV_8UC(channels), 255 or 0
};

ReducedFrame reduceFrame(const cv::Mat& frame, const SampleReading& reading, float gain, int factor);

// The reduction that keeps about a megapixel or more: 1 for small images, 4 for 24 megapixels.
int reductionFactor(cv::Size size);

// The size of a frame of size reduced by factor (blocks at the edges count whole).
cv::Size reducedSize(cv::Size size, int factor);

} // namespace tl
