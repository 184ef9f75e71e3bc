#pragma once

#include <opencv2/core.hpp>

#include <string>

// Moves exposure so that it lies on the instant image pixel for pixel. greyInstant is
// the instant image in one channel; instantChannels the instant image's channel count.
// Returns the aligned exposure (a new image), or an empty image when the alignment
// failed for any reason; cause then receives what went wrong, as the image library says it.
cv::Mat alignExposure(const cv::Mat& greyInstant, const cv::Mat& exposure, int instantChannels, std::string& cause);
