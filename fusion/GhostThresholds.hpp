#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The ghost thresholds: entry i is the largest difference, as a fraction of the depth
// scale, that an exposure may show against an instant-image value i and still count as
// the same scene. It grows by 3.5 % of the scale from the darkest to the brightest value,
// because bright areas carry more noise and more exposure mismatch.

// A float table is never longer than this, whatever the instant image's largest element.
constexpr int maxThresholdTableLength = 65536;

// Table length and depth scale for an instant image of the given depth (CV_8U, CV_16U
// or CV_32F) whose largest element is maxElement (used for float images only).
struct ThresholdTableShape {
    int length;
    float scale;
};
ThresholdTableShape thresholdTableShape(int depth, float maxElement);

// Fills table[0 .. length - 1] for the ghost threshold percentage p; p <= 0 gives zeros.
void fillThresholdTable(float* table, int length, float p, float scale);

} // namespace tl
