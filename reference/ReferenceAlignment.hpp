#pragma once

#include "reference/ReducedFrame.hpp"

#include <opencv2/core.hpp>

#include <optional>

namespace tl {

// Hand-held frames moved between exposures. They are aligned by translation, estimated on
// their reduced light (on the instant image's scale already), cut to the range of light
// both frames tell - at most the lower of the two clip levels, at least the higher of the
// two floors - and taken to the fourth root, so that a bracket's frames look alike to the
// correlation (the ECC estimate, coarse to fine over two levels).

// The shift, in full-size pixels, that carries the instant image's coordinates into the
// frame's; nothing when the two do not correlate.
struct ClipRange {
    float floor, clip;  // on the instant image's scale
};
std::optional<cv::Point2f> estimateShift(const ReducedFrame& instant, const ReducedFrame& frame, ClipRange range,
                                         int factor);

// The frame moved by shift onto the instant image (bilinear; edges repeated), and the part
// of it that holds the frame's own pixels.
cv::Mat shiftFrame(const cv::Mat& frame, cv::Point2f shift);
cv::Rect shiftedArea(cv::Size size, cv::Point2f shift);

} // namespace tl
