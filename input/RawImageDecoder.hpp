#pragma once

#include <opencv2/core.hpp>

#include <string>

// Develops a camera raw file in this process the way "dcraw -T -w -6" does: camera
// white balance, sRGB, BT.709 gamma with automatic brightening, 16 bits per sample,
// camera orientation applied. Returns a 16-bit, 3-channel B, G, R image, or an empty
// image when the file cannot be developed into three colours; the reason then goes to
// standard error, never to standard output. Not re-entrant: one decode at a time.
cv::Mat decodeRawImage(const std::string& path);
