#pragma once

#include <opencv2/core.hpp>

// Least-squared-difference search of a patch of A in a window of B.
//
// The patch is the (2t + 1)-pixel square of A around row y, column x, pushed back inside
// A at the edges (a patch pushed back from the right or bottom edge keeps one free column
// or row there). The window is B's rectangle from max(0, x - r) to min(cols - 1, x + r),
// end column excluded, and the same for rows. dy and dx receive the displacement from the
// patch's place in A to its best placement in B (the first one in row-major order among
// equal scores); the return value is that placement's sum of squared differences over all
// pixels and channels.
//
// When the window (or A) cannot hold the patch there is no placement: dy = dx = 0 and
// the score is +infinity, so callers neither refill from elsewhere nor trust the match.
//
// Scores are exact integer sums and the search is exhaustive: every placement is either
// summed or proved no better than the best one (see PatchSearch).
//
// A and B are 8-bit images with the same channel count. Safe to call from several
// threads on the same images; each calling thread keeps its search buffers (at most a
// few megabytes) between calls.
double matchPatch(int y, int x, int t, int r, int& dy, int& dx, cv::Mat A, cv::Mat B);

// The same search, trying the displacement hint (x: columns, y: rows) early, such as the
// one found for a neighbouring patch. A hint close to the answer makes the search faster;
// it never changes the result.
double matchPatch(int y, int x, int t, int r, int& dy, int& dx, const cv::Mat& A, const cv::Mat& B,
                  cv::Point hint);

// Number of patches matched by this process so far, by matchPatch and the RowMatcher
// (for measurements).
long long matchPatchCallCount();
void countPatchMatches(long long matches);
