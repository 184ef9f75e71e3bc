#pragma once

#include "align/ExposurePair.hpp"
#include "fusion/CompensationLayout.hpp"

#include <opencv2/core.hpp>

namespace tl {

// The ghost compensation of one exposure, as its band workers and the border passes read
// it. Ghost pixels of the exposure are refilled from the place where the instant image's
// patch around them is found in the exposure, within searchRadius; every other pixel is
// copied. The workers share it read-only; only the border passes, on the calling thread,
// write into the mask (the value 120 marks a border pixel already filled).
struct CompensationJob {
    ExposurePair pair;   // with its matching copies
    cv::Mat ghostMask;   // 8-bit, one channel: 255 ghost, 0 still
    BandLayout layout;
    int searchRadius;    // pixels
    int threads;         // band workers, at least 1
};

} // namespace tl
