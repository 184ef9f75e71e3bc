#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// Encodes an 8-bit three-channel B, G, R image exactly as OpenCV's JPEG writer does
// with its default settings (quality 95, 4:2:0, baseline, standard Huffman tables),
// byte for byte, but hands its rows to libjpeg as they are, where OpenCV first copies
// each row into R, G, B order. Returns nothing for any other image or when libjpeg
// fails (an image too large for JPEG, for one).
std::vector<unsigned char> encodeBgrJpeg(const cv::Mat& image);

} // namespace tl
