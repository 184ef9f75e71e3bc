#pragma once

#include "reference/SampleReading.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace tl {

// The log2 exposure of every frame relative to the instant frame (positive: brighter), as
// the frames themselves tell it: for every pair of frames, the median log2 ratio of the
// light of the samples (sampleGrid) well exposed in both; then the exposures that fit those
// medians best, in least squares, with the instant frame at 0. Nothing for a frame that
// shares too few well-exposed samples with the others. readings[i] reads samples[i].
std::vector<std::optional<double>> estimateExposures(const std::vector<cv::Mat>& samples,
                                                     const std::vector<SampleReading>& readings, int instant);

} // namespace tl
