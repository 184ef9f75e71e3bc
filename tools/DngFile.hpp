#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Camera raw files made from nothing, for the tests and benchmarks of the raw decoder:
// minimal uncompressed DNG files that LibRaw develops like any camera's.

// A 16-bit single-channel RGGB mosaic of a grainyScene;
// size has even width and height.
cv::Mat bayerScene(cv::Size size);

// The bytes of a DNG file holding mosaic (16-bit, one channel) with the given TIFF
// orientation (1 as stored, 6 turned 90° clockwise to view, 8 counter-clockwise). A
// colour file has an RGGB colour filter array; a monochrome one stores linear grey values
// with no colour at all.
std::string dngBytes(const cv::Mat& mosaic, int orientation, bool monochrome = false);

} // namespace tl
