#pragma once

#include "reference/SampleReading.hpp"

#include <opencv2/core.hpp>

namespace tl {

// The rising side of the weight the merge gives each sample of a frame, per channel, read
// from the frame's lightly smoothed light at the reduced size (reducedLight: ReducedFrame's
// light on the frame's own scale, gain 1) rather than from the sample itself: a weight
// that follows each sample's own noise favours the samples the noise pushed up, and the
// merge of a dark area of a burst comes out brighter than the scene. Never below leastWeight, so that where every frame is in the noise floor the
// frames are still averaged.
cv::Mat weightMap(const cv::Mat& reducedLight, const SampleReading& reading);

// The least weight of a sample that is not clipped.
inline constexpr float leastWeight = 0.02f;

} // namespace tl
