#pragma once

#include "reference/CameraResponse.hpp"
#include "reference/WeightedMerge.hpp"

#include <optional>
#include <vector>

namespace tl {

// The camera response of a burst of equal exposures, told by its noise: frames of one
// exposure say nothing of the curve through how their codes map onto each other, but photon
// noise grows with the light, so the spread of a still pixel's code across the frames tells
// the curve's slope there. With light E = g(u) at code u and noise variance a E + b in light,
// the variance of the code is s(u)^2 = (a g(u) + b) / g'(u)^2, whose solution is
// g(u) = ((H(u) + c)^2 - c^2) / K with H(u) the integral of 1 / s from code 0 and K the
// scale. The read noise b is taken as photon noise at 0.2 % of the top code's light (a few
// electrons against a full well of a few thousand), which fixes c; the variance sets the
// rest. Measured on a grid of samples where no frame was left out (masks below 2 %) and
// every frame has its own pixels, the channels pooled, by the mean variance per code (less
// the quantisation's for 8-bit codes, without gross outliers), at the codes where hardly
// any sample touched the floor or the clip level, which would cut the spread short. Nothing for float frames, fewer than three
// frames, or when the frames tell too few codes (from 48 or below up to 128 or above) or
// the curve is no camera's.
std::optional<CameraResponse> responseFromNoise(const std::vector<MergeFrame>& frames, int factor);

} // namespace tl
