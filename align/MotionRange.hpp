#pragma once

#include <opencv2/core.hpp>

#include <vector>

// Pieces of the motion-range estimate (MergeEngine::estimateGhostingPower) that stand
// on their own.

// Least population deviation of the mixed second derivative of a texture window, in
// the instant image's own scale: 2.25 % of the full scale (255, 65535, or the largest
// element of a float image).
float textureThreshold(const cv::Mat& instant);

// Search radius from the squared displacements of the verified matches, for patch
// half-size h: the median displacement d (the upper middle one for an even count, 0
// without samples), truncated, plus a margin of 2h + 2, or only h + 2 once d exceeds 3h.
int radiusFromSamples(std::vector<float> samples, int h);
