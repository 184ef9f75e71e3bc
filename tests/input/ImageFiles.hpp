#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// Small image files that the input tests make for themselves.

// An 8-bit image of the given type whose every sample differs from its neighbours, so
// that a swapped channel or a flipped row shows.
cv::Mat patternImage(int rows, int cols, int type);

// An uncompressed TGA file of an 8-bit image with 1 (grey), 3 (B, G, R) or 4 (B, G, R,
// alpha) channels; rows stored bottom first unless topFirst.
std::string tgaBytes(const cv::Mat& image, bool topFirst);

// An uncompressed colour-mapped TGA file, rows top first: 8-bit indices into a palette of
// B, G, R colours.
std::string paletteTgaBytes(const cv::Mat& indices, const std::vector<cv::Vec3b>& palette);

// A PCX file of an 8-bit B, G, R image: 3 planes R, G, B, each row stored as literal bytes
// (every sample must stay below 0xC0, which would mark a run).
std::string pcxBytes(const cv::Mat& image);

// A FITS file of a one-channel 16-bit or 32-bit signed image, big-endian samples, the
// data unpadded.
std::string fitsBytes(const cv::Mat& image);

// image encoded by OpenCV in the format of extension (".png", ".jpg", ...).
std::string encoded(const cv::Mat& image, const std::string& extension);

} // namespace tl
