#pragma once

#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace tl {

// The camera response of a bracket of integer frames, fitted to how their codes map onto
// each other. The mapping between two frames comes from their cumulative histograms
// (the code of one frame that as many samples lie below as below a code of the other:
// Grossberg and Nayar's intensity mapping function), so neither movement nor a shift
// between the frames disturbs it. One curve serves every channel. Each pair of frames of
// neighbouring exposures (at least a third of a stop apart; for 8-bit frames up to about
// three stops where other frames lie between them, for 16-bit frames any) asks that the
// log2 light of a code and of the code it maps to differ by the pair's exposure
// difference; a smoothness term fills the codes no pair tells. Nothing when the frames are too close in exposure, or tell too few
// codes, for a curve. samples are the frames' sampleGrid, log2Exposures their exposures.
std::optional<CameraResponse> fitCameraResponse(const std::vector<cv::Mat>& samples,
                                                const std::vector<double>& log2Exposures);

// A curve for each colour channel (B, G, R), each fitted as above to that channel's samples
// alone: for cameras whose channels do not share one curve. Nothing unless every channel
// tells one.
std::optional<CameraResponse> fitChannelResponses(const std::vector<cv::Mat>& samples,
                                                  const std::vector<double>& log2Exposures);

} // namespace tl
