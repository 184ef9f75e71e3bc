#include "align/MatchPatch.hpp"

#include "align/PatchWindow.hpp"

#include <atomic>

namespace {

std::atomic<long long> callCount{0};

} // namespace

void countPatchMatches(long long matches) { callCount.fetch_add(matches, std::memory_order_relaxed); }

double matchPatch(int y, int x, int t, int r, int& dy, int& dx, cv::Mat A, cv::Mat B) {
    return matchPatch(y, x, t, r, dy, dx, A, B, cv::Point(0, 0));
}

double matchPatch(int y, int x, int t, int r, int& dy, int& dx, const cv::Mat& A, const cv::Mat& B, cv::Point hint) {
    countPatchMatches(1);
    const PatchMatch m = searchPatch(patchWindow(y, x, t, r, A.size(), B.size()), A, B, std::span(&hint, 1));
    dy = m.dy;
    dx = m.dx;
    return m.score;
}

long long matchPatchCallCount() { return callCount.load(std::memory_order_relaxed); }
