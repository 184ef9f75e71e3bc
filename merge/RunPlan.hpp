#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// What a merge run derives from its command line and its instant image before it
// takes the first exposure.

// Sequence indices in the order the run visits them: the instant image first, then
// outwards, d+h before d-h: count 5 and d = 1 give 1, 2, 0, 3, 4.
std::vector<int> visitingOrder(int instantIndex, int count);

// The patch search radius in pixels: ghostingPower percent of the larger side, at least
// 17; -1 (chosen per exposure) when ghostingPower is negative.
int searchRadiusFor(int rows, int cols, float ghostingPower);

// 8 times the byte size of one channel value: 8, 16, 32 or 64.
int bitsPerChannel(const cv::Mat& image);

} // namespace tl
