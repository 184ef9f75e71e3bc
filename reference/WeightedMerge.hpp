#pragma once

#include "reference/SampleReading.hpp"

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// One frame as the merge takes it.
struct MergeFrame {
    cv::Mat image;          // aligned with the instant image, same size, type and depth
    SampleReading reading;  // how its samples are read
    float gain;             // brings its light onto the instant image's scale: t_instant / t_frame
    cv::Mat mask;           // the share left out (MaskShaping) at the reduced size; empty: none
    cv::Rect valid;         // the part of the image that holds the frame's own pixels
};

// The frames' light on the instant image's scale, merged pixel by pixel: each frame's light
// weighted by the hat over its codes read from its smoothed light (weights: per frame, its
// weightMap; a weight that followed each sample's own noise would bias dark areas up), by
// its exposure relative to the instant image's (a longer exposure holds less noise) and by
// the cube of one minus its mask, both maps read at full size by bilinear interpolation of
// the reduced ones (factor: the reduction). A sample whose worst channel is clipped counts
// on no channel. Every sample that is not clipped keeps a small weight, so that where every
// other frame is left out the result is the instant image's own light, and where every
// frame is in the noise floor the frames are still averaged. Where the frames' weights add
// up to little (every one left out or clipped), the largest light of the frames not left
// out - the best bound a clipped value gives - makes up the rest of the weight.
// Float, the instant image's channel count. Rows in slices on the machine's cores.
cv::Mat mergeWeighted(const std::vector<MergeFrame>& frames, const std::vector<cv::Mat>& weights, int instant, int factor);

} // namespace tl
