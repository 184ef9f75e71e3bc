#include "align/MatchPatch.hpp"

#include "align/PatchSearch.hpp"

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>

namespace {

std::atomic<long long> callCount{0};

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

double matchPatch(int y, int x, int t, int r, int& dy, int& dx, cv::Mat A, cv::Mat B) {
    return matchPatch(y, x, t, r, dy, dx, A, B, cv::Point(0, 0));
}

double matchPatch(int y, int x, int t, int r, int& dy, int& dx, const cv::Mat& A, const cv::Mat& B, cv::Point hint) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    dy = 0;
    dx = 0;
    const int side = 2 * t + 1;
    const int xp = patchStart(x, t, A.cols);
    const int yp = patchStart(y, t, A.rows);

    // The window's last column and row are excluded.
    const int x0 = std::max(0, x - r), x1 = std::min(B.cols - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(B.rows - 1, y + r);
    // A centre so far beyond the image that the window lies outside it has no window.
    if (x0 > x1 || y0 > y1) return std::numeric_limits<double>::infinity();
    const cv::Rect window(x0, y0, x1 - x0, y1 - y0);
    if (xp < 0 || yp < 0 || window.width < side || window.height < side)
        return std::numeric_limits<double>::infinity();

    const PatchSearch search{A.ptr(yp, xp), A.step, B.ptr(window.y, window.x), B.step,
                             side, A.channels(), window.height, window.width};
    // The patch's own place first, then the hinted displacement.
    std::array<Placement, 2> candidates;
    size_t count = 0;
    for (const cv::Point d : {cv::Point(0, 0), hint}) {
        const Placement p{yp + d.y - window.y, xp + d.x - window.x};
        if (inside(p, window, side)) candidates[count++] = p;
    }
    const Placement best = searchWindow(search, std::span(candidates.data(), count));
    dx = best.column + window.x - xp;
    dy = best.row + window.y - yp;
    return static_cast<double>(best.score);
}

long long matchPatchCallCount() { return callCount.load(std::memory_order_relaxed); }
