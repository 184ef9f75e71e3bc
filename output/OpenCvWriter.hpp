#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Writes image with cv::imwrite, the format chosen by the name's extension: 8- and 16-bit
// images of any format OpenCV writes, float images named .tif, .tiff, .exr or .pfm (real
// float files: DevIL cannot write those), and any image named .exr as float (value / 255
// or / 65535). Returns false for other images and whenever OpenCV fails or throws.
bool writeWithOpenCv(const std::string& path, const cv::Mat& image);

// Whether path names a format whose OpenCV writer holds 8 bits per channel only (JPEG,
// BMP, WebP, Sun raster): given 16-bit samples it would clip them to 255.
bool namesEightBitOpenCvFormat(const std::string& path);

} // namespace tl
