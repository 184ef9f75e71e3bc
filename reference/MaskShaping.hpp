#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The mask of a frame from its disagreement score (ConsistencyTest): the share of the
// frame left out of each pixel, from 0 to 1, at the score's size. Seeds of strong
// disagreement (score 1 or more, over a whole 3 x 3 square, so that lone pixels and thin
// lines along edges do not count) grow into the weak disagreement around them (score 0.5
// or more) that touches them; what no seed reaches is dropped. The result is grown by
// twice the feather and one more pixel, then feathered with a Gaussian of that sigma, so
// that every disagreeing pixel stays fully out and no edge shows.
cv::Mat shapeMask(const cv::Mat& score, double featherSigma);

// A mask at full size, for a person to look at: 0 (kept) to 255 (left out), 8-bit.
cv::Mat expandMask(const cv::Mat& mask, cv::Size size);

} // namespace tl
