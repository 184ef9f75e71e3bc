#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// Dense optical flow from `first` to `second`, bit for bit
// cv::calcOpticalFlowFarneback(first, second, flow, 0.75, 4, 5, 1, 5, 1.1, 0): a pyramid
// of scale 0.75 with up to four coarser levels, a 5 x 5 box window, one update per level,
// polynomial expansion over 5 pixels with sigma 1.1, no initial flow. The inputs are
// single-channel 8U, 16U or 32F images of the same size; the result is CV_32FC2, (dx, dy)
// per pixel. `threads` threads share the work; the result is the same for every count.
// Besides the flow it holds one full-size float plane (the blur buffer, which at full
// size is the second image's level image) and the current coarse level's two images,
// instead of the reference's full-size expansions, systems and level images; every
// other intermediate lives in rings of a few dozen rows.
cv::Mat denseFlow(const cv::Mat& first, const cv::Mat& second, int threads);

struct FlowPixel {
    int row, column;
};

// The flow smoothed by cv::GaussianBlur(flow, smoothed, cv::Size(side, side), sigma, 0,
// cv::BORDER_DEFAULT), at `pixels` only: element i is the smoothed flow at pixels[i],
// bit for bit. Only the rows around the pixels are smoothed.
std::vector<cv::Vec2f> smoothedFlowAt(const cv::Mat& first, const cv::Mat& second,
                                      const std::vector<FlowPixel>& pixels, int side, double sigma, int threads);

} // namespace tl
