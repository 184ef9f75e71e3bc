#pragma once

#include "align/WindowStatistics.hpp"

#include <opencv2/core.hpp>

#include <span>
#include <vector>

namespace tl {

// Where matchPatch's patch and search window lie (see MatchPatch.hpp), and the search
// itself, shared by matchPatch and the RowMatcher.

struct PatchMatch {
    int dy = 0, dx = 0;  // displacement from the patch's place in A to its best placement in B
    double score = 0;    // its sum of squared differences; +infinity for no placement
};

struct PatchWindow {
    int side = 0;
    cv::Point patch;   // the patch's top-left corner in A
    cv::Rect window;   // in B, its last column and row excluded from the image's
    bool empty = true;  // no placement: no window, a window or image smaller than the patch
};

// The patch of half-size t centred on row y, column x of an image of size a, and its
// window of radius r in an image of size b.
PatchWindow patchWindow(int y, int x, int t, int r, cv::Size a, cv::Size b);

// The best placement of the patch of A in the window of B, the hints (displacements)
// tried first; statistics, when given, hold the window with its top-left corner at
// statisticsOrigin. An empty window gives no displacement and an infinite score.
PatchMatch searchPatch(const PatchWindow& where, const cv::Mat& A, const cv::Mat& B, std::span<const cv::Point> hints,
                       const WindowStatistics* statistics = nullptr, cv::Point statisticsOrigin = {});

// Statistics that several windows share, origins[j] holding the top-left corner of the
// j-th window.
struct SharedStatistics {
    const WindowStatistics& statistics;
    std::span<const cv::Point> origins;
};

// searchPatch for the patches of windows of the same rows (none empty) over shared
// statistics, searched together (see searchWindows): the results are searchPatch's,
// window for window, written into matches.
void searchPatches(std::span<const PatchWindow> windows, const cv::Mat& A, const cv::Mat& B,
                   std::span<const std::vector<cv::Point>> hints, const SharedStatistics& shared,
                   std::span<PatchMatch> matches);

} // namespace tl
