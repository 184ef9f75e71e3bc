#pragma once

#include <opencv2/core.hpp>

#include <string>

// Loads one image file: camera raw files (by extension) developed to 16-bit B, G, R;
// Radiance files (by their "#?" signature) through OpenCV alone, after a check of the
// size they declare; everything else through OpenCV, then DevIL. Signed and 32-bit
// integer samples come back at a depth the fusion takes (toFusionDepth). An empty image
// when nothing can read the file, or when the decoder could not fill every pixel.
cv::Mat loadImage(const std::string& path);
