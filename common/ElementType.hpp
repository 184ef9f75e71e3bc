#pragma once

#include <opencv2/core.hpp>

#include <cstdint>

namespace tl {

// The element types the fusion works on: 8-bit unsigned, 16-bit unsigned and 32-bit float.
// Routines written once over the element type are entered through here.

// Runs work.template operator()<T>() with T the element type of depth and returns true;
// returns false, running nothing, for any other depth.
template <typename Work> bool withElementType(int depth, Work&& work) {
    switch (depth) {
    case CV_8U: work.template operator()<std::uint8_t>(); return true;
    case CV_16U: work.template operator()<std::uint16_t>(); return true;
    case CV_32F: work.template operator()<float>(); return true;
    default: return false;
    }
}

// The depth of bits per channel 8, 16 or 32 (8-bit unsigned, 16-bit unsigned, float);
// -1 for any other number.
inline int depthOfBits(int bitsPerChannel) {
    switch (bitsPerChannel) {
    case 8: return CV_8U;
    case 16: return CV_16U;
    case 32: return CV_32F;
    default: return -1;
    }
}

// The largest element of image over all its channels (0 for an empty image).
double largestElement(const cv::Mat& image);

} // namespace tl
