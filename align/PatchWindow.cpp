#include "align/PatchWindow.hpp"

#include "align/PatchSearch.hpp"
#include "common/ThreadScratch.hpp"

#include <algorithm>
#include <limits>
#include <vector>

namespace tl {

namespace {

// Start of the patch along one axis: centred on c, pushed back inside a side of length n.
// Pushed back from the far edge it leaves one free element there.
int patchStart(int c, int t, int n) {
    const int side = 2 * t + 1;
    int start = std::max(0, c - t);
    if (start + side >= n) start = n - side - 1;
    return start;
}

bool inside(const Placement& p, const cv::Rect& window, int side) {
    return p.row >= 0 && p.column >= 0 && p.row + side <= window.height && p.column + side <= window.width;
}

} // namespace

PatchWindow patchWindow(int y, int x, int t, int r, cv::Size a, cv::Size b) {
    PatchWindow w;
    w.side = 2 * t + 1;
    w.patch = cv::Point(patchStart(x, t, a.width), patchStart(y, t, a.height));
    // The window's last column and row are excluded.
    const int x0 = std::max(0, x - r), x1 = std::min(b.width - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(b.height - 1, y + r);
    // A centre so far beyond the image that the window lies outside it has no window.
    if (x0 > x1 || y0 > y1) return w;
    w.window = cv::Rect(x0, y0, x1 - x0, y1 - y0);
    w.empty = w.patch.x < 0 || w.patch.y < 0 || w.window.width < w.side || w.window.height < w.side;
    return w;
}

namespace {

PatchSearch searchOf(const PatchWindow& where, const cv::Mat& A, const cv::Mat& B, const WindowStatistics* statistics,
                     cv::Point statisticsOrigin) {
    const cv::Rect& window = where.window;
    return PatchSearch{A.ptr(where.patch.y, where.patch.x), A.step, B.ptr(window.y, window.x), B.step,
                       where.side, A.channels(), window.height, window.width,
                       statistics, statisticsOrigin.y, statisticsOrigin.x};
}

// The placement of the patch's own place in the window (zero displacement).
Placement home(const PatchWindow& where) {
    return Placement{where.patch.y - where.window.y, where.patch.x - where.window.x};
}

// The hinted displacements first, then the patch's own place, those inside the window.
void addCandidates(const PatchWindow& where, std::span<const cv::Point> hints, std::vector<Placement>& candidates) {
    candidates.clear();
    const auto add = [&](cv::Point d) {
        const Placement p{home(where).row + d.y, home(where).column + d.x};
        if (inside(p, where.window, where.side)) candidates.push_back(p);
    };
    for (const cv::Point d : hints) add(d);
    add(cv::Point(0, 0));
}

// Each thread's working memory for a group of searches.
struct SearchesScratch {
    std::vector<PatchSearch> searches;
    std::vector<std::vector<Placement>> candidates;
    std::vector<std::span<const Placement>> lists;
    std::vector<Placement> homes, results;
};

PatchMatch matchOf(const PatchWindow& where, const Placement& best) {
    return PatchMatch{best.row - home(where).row, best.column - home(where).column, static_cast<double>(best.score)};
}

} // namespace

PatchMatch searchPatch(const PatchWindow& where, const cv::Mat& A, const cv::Mat& B, std::span<const cv::Point> hints,
                       const WindowStatistics* statistics, cv::Point statisticsOrigin) {
    if (where.empty) return PatchMatch{0, 0, std::numeric_limits<double>::infinity()};
    std::vector<Placement>& candidates = threadScratch<std::vector<Placement>>();
    addCandidates(where, hints, candidates);
    return matchOf(where, searchWindow(searchOf(where, A, B, statistics, statisticsOrigin), candidates));
}

void searchPatches(std::span<const PatchWindow> windows, const cv::Mat& A, const cv::Mat& B,
                   std::span<const std::vector<cv::Point>> hints, const SharedStatistics& shared,
                   std::span<PatchMatch> matches) {
    SearchesScratch& mine = threadScratch<SearchesScratch>();
    auto& [searches, candidates, lists, homes, results] = mine;
    const size_t n = windows.size();
    searches.clear();
    homes.clear();
    lists.clear();
    if (candidates.size() < n) candidates.resize(n);
    for (size_t j = 0; j < n; ++j) {
        searches.push_back(searchOf(windows[j], A, B, &shared.statistics, shared.origins[j]));
        homes.push_back(home(windows[j]));
        addCandidates(windows[j], hints[j], candidates[j]);
        lists.emplace_back(candidates[j]);
    }
    results.resize(n);
    searchWindows(searches, lists, homes, results);
    for (size_t j = 0; j < n; ++j) matches[j] = matchOf(windows[j], results[j]);
}

} // namespace tl
