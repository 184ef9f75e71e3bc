#pragma once

#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <optional>

namespace tl {

// The display rendering of a merged radiance image, for 8- and 16-bit files: the light on
// the instant image's scale (1 is its white) keeps its value up to 0.75; above, it rolls
// off smoothly (an exponential shoulder that starts with slope 1) so that the brightest
// light - the 99.9th percentile of the pixels' largest channel, when that is above 1 -
// reaches white; then the camera's own curve (the response, inverted) turns light into
// codes, so that the picture looks like the instant image with its highlights back. Float
// frames have no camera curve: they are encoded with the sRGB curve. Values 0 to 1, float.
cv::Mat renderForDisplay(const cv::Mat& radiance, const std::optional<CameraResponse>& cameraCurve);

} // namespace tl
