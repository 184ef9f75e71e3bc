#pragma once

#include "align/DenseFlow.hpp"
#include "align/ThreadTeam.hpp"

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// cv::GaussianBlur(flow, smoothed, cv::Size(side, side), sigma, 0, cv::BORDER_DEFAULT)
// evaluated at `pixels` only. Runs of nearby rows are blurred as views into the whole
// flow, so that the filter reads the same neighbouring rows and columns, and treats the
// same columns with the same code, as the whole-image blur does.
std::vector<cv::Vec2f> gaussianAt(const cv::Mat& flow, const std::vector<FlowPixel>& pixels, int side, double sigma,
                                  ThreadTeam& team);

} // namespace tl
