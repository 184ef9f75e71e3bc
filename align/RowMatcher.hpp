#pragma once

#include "align/PatchWindow.hpp"
#include "align/WindowStatistics.hpp"

#include <opencv2/core.hpp>

#include <cstddef>
#include <span>
#include <utility>
#include <vector>

namespace tl {

// matchPatch for the patches of a row of tiles, left to right: every one of them is
// searched in the same window rows, and neighbouring windows overlap but for a few
// columns. The window statistics are computed once for a run of overlapping windows (as
// wide as a memory budget allows), and each search first tries the displacements found
// for its left neighbour and for the patch at the same column of the previous row this
// matcher matched: neighbouring tiles of a moving object move alike, and a good score
// from the start rules out the most placements. Over shared statistics, windows of at
// least groupedHeight rows are searched in groups of kGroup neighbours (see
// searchWindows): a band of statistics read for one of them is still in cache for the
// others, which do without their left neighbour's displacement as a first hint but try
// its best placement so far at every band. Smaller windows are searched one by one:
// their statistics stay in cache from one search to the next anyway, and the hint and
// a search in fewer bands are worth more. The results are matchPatch's, patch for
// patch.
//
// One matcher per thread; it keeps its buffers from row to row.
class RowMatcher {
public:
    // Statistics take at most budgetBytes, unless a single window needs more: such a
    // window's patch is searched as matchPatch does, without them.
    RowMatcher(cv::Mat A, cv::Mat B, int t, int r, size_t budgetBytes = size_t{24} << 20,
               int groupedHeight = kGroupedHeight);

    // The matches of the patches centred on row y at each of the columns (ascending).
    std::vector<PatchMatch> matchRow(int y, std::span<const int> columns);

    static constexpr size_t kGroup = 8;
    // Below this height, a search in groups costs more than it saves (measured at radii
    // 50 to 264 with t = 8).
    static constexpr int kGroupedHeight = 288;

private:
    // Matches the windows [first, last) as one run over shared statistics, or without
    // them when hold is false.
    void matchRun(size_t first, size_t last, bool hold);
    // The displacements tried first for the patch at windows[k]: the left neighbour's
    // (when it is matched already, left) and the previous row's at the same column.
    void hintsFor(size_t k, bool left, std::vector<cv::Point>& out) const;
    // Largest number of columns the statistics may span for windows of this height.
    int widestRun(int rows) const;

    cv::Mat A, B;
    int t, r;
    size_t budget;
    int groupedHeight;
    WindowStatistics statistics;
    std::vector<PatchWindow> windows;                   // the current row's patches
    std::vector<int> columns;                           // their centres
    std::vector<PatchMatch> matches;                    // their matches so far
    std::vector<std::pair<int, cv::Point>> previous;    // the previous row's centre columns and displacements
    std::vector<std::vector<cv::Point>> hints;          // a group's
    std::vector<cv::Point> origins;                     // a group's windows' corners in the statistics
};

} // namespace tl
