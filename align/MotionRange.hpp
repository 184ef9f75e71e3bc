#pragma once

#include "align/ExposurePair.hpp"

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// How far moving content travelled between the instant image and an exposure, as the
// search radius of the patch matches that refill its ghost pixels. Corners of the instant
// image inside the ghost mask are found once per run; a dense optical flow between the
// two images, smoothed, picks the corners that moved most in textured places; up to 30 of
// them are verified by patch matches, and the median verified displacement plus a margin
// is the radius.
// The estimate for one exposure: the search radius in pixels, and the number of patches
// matched to verify it.
struct MotionRange {
    int searchRadius = 0;
    long long patchesMatched = 0;
};

class MotionRangeEstimator {
public:
    // The motion range of this exposure, for patches of the given half-size: a radius of
    // at least 2 halfSize + 1. The pair's matching copies are set. The flow is computed on
    // the given number of threads, with the same result for any number. Errors of the
    // image library (running out of memory among them) are thrown.
    MotionRange estimate(const ExposurePair& pair, const cv::Mat& ghostMask, int patchHalfSize, int threads);

    // 255 at the corners found for the run, 0 elsewhere; empty before the first corners.
    const cv::Mat& cornerMask() const { return corners; }

private:
    cv::Mat corners;
};

// Pieces of the estimate that stand on their own.

// Least population deviation of the mixed second derivative of a texture window, in
// the instant image's own scale: 2.25 % of the full scale (255, 65535, or the largest
// element of a float image).
float textureThreshold(const cv::Mat& instant);

// Search radius from the squared displacements of the verified matches, for patch
// half-size h: the median displacement d (the upper middle one for an even count, 0
// without samples), truncated, plus a margin of 2h + 2, or only h + 2 once d exceeds 3h.
int radiusFromSamples(std::vector<float> samples, int h);

} // namespace tl
