#pragma once

#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <vector>

namespace tl {

// Cameras whose colour channels do not share one curve. Read through the one curve fitted to
// every channel, each colour channel on its own tells every frame's exposure (ExposureEstimate);
// where they disagree by more than a third of a stop for the median frame, the data show it:
// each channel gets a curve of its own (fitChannelResponses), each frame the colour balance
// that its channels still tell through those curves, and the consistency test allows each
// channel the share of the light by which the channels of the frame that disagrees most
// differ (at most 0.7): such a camera's colour processing moves saturated colours between
// exposures by more than any curve of their own explains. Frames that a channel tells more
// than a stop from their settled exposure (mostly clipped or black) are not counted.
struct ChannelSeparation {
    CameraResponse response;                   // a curve per channel
    std::vector<std::vector<float>> balances;  // per frame, each channel's light factor; empty: none told
    float colourShare;                         // for ConsistencyLimits
};

// Nothing when the channels share the curve (or fewer than two channels, or no frame tells).
// samples: the frames' sampleGrid; stops: their settled exposures; response: the one curve.
std::optional<ChannelSeparation> channelSeparation(const std::vector<cv::Mat>& samples, const CameraResponse& response,
                                                   const std::vector<double>& stops, int instant);

} // namespace tl
