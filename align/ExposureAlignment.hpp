#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Moves exposure so that it lies on the instant image pixel for pixel. greyInstant is
// the instant image in one channel; instantChannels the instant image's channel count.
// Returns the aligned exposure (a new image). When the alignment fails for any reason it
// throws a StepFailure, alignmentFailure of what went wrong as the image library says it.
cv::Mat alignExposure(const cv::Mat& greyInstant, const cv::Mat& exposure, int instantChannels);

// The failure of an alignment for the given cause. The report has always blamed a lack of
// memory; it says so where that is the cause, and gives the cause itself otherwise (a
// flat exposure has nothing to align by).
Failure alignmentFailure(const std::string& cause);

} // namespace tl
