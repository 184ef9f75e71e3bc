#pragma once

#include "reference/SampleReading.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace tl {

// The log2 exposure of every frame relative to the instant frame (positive: brighter), as
// the frames themselves tell it: for every pair of frames, the median log2 ratio of the
// light of the samples (sampleGrid) well exposed in both, kept only where most of the
// samples that ratio puts in both frames' range are there; then the exposures that fit
// those medians best, in least squares weighted by each median's certainty (the pair's
// sample count over its spread squared), with the instant frame at 0. Nothing for a frame
// that no such pair joins to the instant frame. readings[i] reads samples[i].
std::vector<std::optional<double>> estimateExposures(const std::vector<cv::Mat>& samples,
                                                     const std::vector<SampleReading>& readings, int instant);

} // namespace tl
