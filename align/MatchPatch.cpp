#include "align/MatchPatch.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cstdlib>
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

} // namespace

double matchPatch(int y, int x, int t, int r, int& dy, int& dx, cv::Mat A, cv::Mat B) {
    callCount.fetch_add(1, std::memory_order_relaxed);
    dy = 0;
    dx = 0;
    const int side = 2 * t + 1;
    const int xp = patchStart(x, t, A.cols);
    const int yp = patchStart(y, t, A.rows);

    const int x0 = std::max(0, x - r), x1 = std::min(B.cols - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(B.rows - 1, y + r);
    // A centre so far beyond the image that the window lies outside it has no window.
    if (x0 > x1 || y0 > y1) return std::numeric_limits<double>::infinity();
    const cv::Rect window(x0, y0, x1 - x0, y1 - y0);
    if (xp < 0 || yp < 0 || window.width < side || window.height < side)
        return std::numeric_limits<double>::infinity();

    cv::Mat scores;
    cv::matchTemplate(B(window), A(cv::Rect(xp, yp, side, side)), scores, cv::TM_SQDIFF);
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(scores, &best, nullptr, &at, nullptr);
    dx = at.x + window.x - xp;
    dy = at.y + window.y - yp;
    return best;
}

long long matchPatchCallCount() { return callCount.load(std::memory_order_relaxed); }
