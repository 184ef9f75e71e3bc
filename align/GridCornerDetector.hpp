#pragma once

#include <opencv2/core.hpp>
#include <opencv2/features2d.hpp>

#include <vector>

namespace tl {

// Corners spread evenly over the image: the image is cut into gridRows x gridColumns
// cells that tile it, the detector runs on each cell's grey version with the same part
// of the mask, and each cell keeps its maxTotal / (gridRows * gridColumns) strongest
// corners. Cells are collected in row-major order, so the result is deterministic.
// Nothing is detected when maxTotal is below the number of cells.
std::vector<cv::KeyPoint> detectGridCorners(const cv::Mat& image, const cv::Mat& mask,
                                            cv::GFTTDetector& detector, int maxTotal,
                                            int gridRows, int gridColumns);

} // namespace tl
