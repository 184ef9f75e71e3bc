#include "align/PatchWindow.hpp"

#include "align/PatchSearch.hpp"

#include <algorithm>
#include <limits>
#include <vector>

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

PatchMatch searchPatch(const PatchWindow& where, const cv::Mat& A, const cv::Mat& B, std::span<const cv::Point> hints,
                       const WindowStatistics* statistics, cv::Point statisticsOrigin) {
    if (where.empty) return PatchMatch{0, 0, std::numeric_limits<double>::infinity()};
    const cv::Rect& window = where.window;
    const PatchSearch search{A.ptr(where.patch.y, where.patch.x), A.step, B.ptr(window.y, window.x), B.step,
                             where.side, A.channels(), window.height, window.width,
                             statistics, statisticsOrigin.y, statisticsOrigin.x};
    // The hinted displacements first, then the patch's own place.
    thread_local std::vector<Placement> candidates;
    candidates.clear();
    const auto add = [&](cv::Point d) {
        const Placement p{where.patch.y + d.y - window.y, where.patch.x + d.x - window.x};
        if (inside(p, window, where.side)) candidates.push_back(p);
    };
    for (const cv::Point d : hints) add(d);
    add(cv::Point(0, 0));
    const Placement best = searchWindow(search, candidates);
    return PatchMatch{best.row + window.y - where.patch.y, best.column + window.x - where.patch.x,
                      static_cast<double>(best.score)};
}
