#pragma once

#include <opencv2/core.hpp>

#include <string>

// Writes image with DevIL, the format chosen by the name's extension, replacing an
// existing file. Returns whether DevIL wrote it.
bool writeWithDevil(const std::string& path, const cv::Mat& image);
