#pragma once

#include "align/PatchWindow.hpp"

#include <opencv2/core.hpp>

namespace tl {

// Which patch matchPatch looks for, and how far.
struct PatchQuery {
    int row = 0, column = 0;  // the patch's centre in A
    int halfSize = 0;         // the patch is the (2 halfSize + 1)-pixel square around its centre
    int searchRadius = 0;     // pixels, around the same place in B
};

// Least-squared-difference search of a patch of A in a window of B.
//
// The patch is the square of A around the query's centre, pushed back inside A at the
// edges (a patch pushed back from the right or bottom edge keeps one free column or row
// there). The window is B's rectangle from max(0, column - searchRadius) to
// min(cols - 1, column + searchRadius), end column excluded, and the same for rows. The
// result holds the displacement from the patch's place in A to its best placement in B
// (the first one in row-major order among equal scores) and that placement's sum of
// squared differences over all pixels and channels.
//
// When the window (or A) cannot hold the patch there is no placement: the displacement is
// 0 and the score is +infinity, so callers neither refill from elsewhere nor trust the
// match.
//
// Scores are exact integer sums and the search is exhaustive: every placement is either
// summed or proved no better than the best one (see PatchSearch). The displacement hint
// (x: columns, y: rows) is tried early, such as the one found for a neighbouring patch: a
// hint close to the answer makes the search faster, it never changes the result.
//
// A and B are 8-bit images with the same channel count. Safe to call from several
// threads on the same images; each calling thread keeps its search buffers (at most a
// few megabytes) between calls.
PatchMatch matchPatch(const PatchQuery& query, const cv::Mat& A, const cv::Mat& B, cv::Point hint = cv::Point(0, 0));

} // namespace tl
