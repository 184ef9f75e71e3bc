#pragma once

#include "reference/ReducedFrame.hpp"

#include <opencv2/core.hpp>

namespace tl {

// Where a frame shows something other than the instant image, at the reduced size: for
// every pixel the largest over the channels of how far the frame's light lies from the
// instant image's, in units of the threshold k * spread + tau * light (the frames' own
// noise profile, plus a share of the light for what the response gets wrong). Both are
// lightly smoothed (3 x 3 blocks) first. Near the limits the test is one-sided: a clipped
// value only says the light is at least that much, a value in the noise floor only that it
// is at most the floor, so where the instant image is clipped only a darker frame disagrees
// and where it is in its floor only a clearly brighter one. 0 where the two agree, 1 at the
// threshold. A value in the shoulder of the curve says only that the light is at least the
// shoulder's start where the limits name one (a fitted curve is least sure there). The
// levels are on the instant image's scale.
struct ConsistencyLimits {
    float instantFloor;     // the instant image's noise floor
    float frameFloor;       // the frame's, times its gain
    float instantShoulder;  // where the instant image's shoulder starts (in its lowest channel); infinity: none
    float frameShoulder;    // the frame's, times its gain
    // A share of the light each channel may differ by besides the response's: for cameras
    // whose colour processing depends on the exposure, so that a channel of a still scene
    // differs between two frames by more than any curve of its own explains; 0 otherwise.
    float colourShare;
};

cv::Mat disagreement(const ReducedFrame& instant, const ReducedFrame& frame, ConsistencyLimits limits);

} // namespace tl
