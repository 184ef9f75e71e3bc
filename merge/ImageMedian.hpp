#pragma once

#include <opencv2/core.hpp>

#include <optional>

namespace tl {

// The median of an image's samples (every channel of every pixel, on a spread of rows
// that keeps large images cheap) as linear light from 0 to 1: 8- and 16-bit samples are
// scaled to 0..1 and raised to 2.2, as the light accumulation reads them; float samples
// are taken as linear already. A median below half a step of the scale counts as half
// a step, so that a black image still has a brightness to compare. Nothing for an
// empty image or another depth.
std::optional<double> linearMedian(const cv::Mat& image);

} // namespace tl
