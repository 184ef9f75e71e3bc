#pragma once

#include "reference/CameraResponse.hpp"
#include "reference/CaptureSettings.hpp"
#include "reference/FrameExposures.hpp"

#include <opencv2/core.hpp>

#include <functional>
#include <optional>
#include <vector>

namespace tl {

// The reference merge: a burst or an exposure bracket merged into one radiance image that
// shows the moment of the instant image. Every frame is brought onto the instant image's
// scale (its exposure from the capture settings, checked against the images; its codes
// made linear through the camera response recovered from the frames); wherever a frame
// disagrees with the instant image by more than the noise allows, a feathered mask leaves
// it out; the rest is a weighted mean of the frames' light.

// What a merge is given.
struct ReferenceFrames {
    std::vector<cv::Mat> images;           // same size, channels and depth (8U, 16U or 32F), 1, 3 or 4 channels
    int instantIndex = 0;
    std::vector<CaptureSettings> capture;  // per image, or empty: none known
};

struct ReferenceMergeOptions {
    bool align = false;                       // move each frame onto the instant image first
    std::optional<std::vector<double>> stops;  // per image, overriding every other source
    // Told the share of the merge done (0 to 1) after each step, from the calling thread.
    std::function<void(double)> progress;
};

struct ReferenceMergeResult {
    cv::Mat radiance;                      // float, linear light on the instant image's scale
    std::vector<cv::Mat> masks;            // per image, the share left out (0 to 1) at the reduced size
                                           // (expandMask); empty for the instant image
    std::vector<FrameExposure> exposures;  // per image
    std::optional<CameraResponse> response;  // the integer frames' camera curve; none for float frames
    std::vector<cv::Point2f> shifts;       // per image, how far it was moved (zero without alignment)
};

// Throws a StepFailure (Failure::Code::referenceMergeFailed) when the frames do not fit
// together (sizes, channels, depths), when there are none, or when the list of stops does
// not have one per image.
ReferenceMergeResult mergeOnReference(const ReferenceFrames& frames, const ReferenceMergeOptions& options);

} // namespace tl
