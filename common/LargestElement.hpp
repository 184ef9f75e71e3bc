#pragma once

#include <opencv2/core.hpp>

// The largest element of image over all its channels (0 for an empty image).
double largestElement(const cv::Mat& image);
