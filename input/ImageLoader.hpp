#pragma once

#include <opencv2/core.hpp>

#include <string>

// Loads one image file: camera raw files (by extension) developed to 16-bit B, G, R;
// everything else through OpenCV, then DevIL. An empty image when nothing can read it.
cv::Mat loadImage(const std::string& path);
