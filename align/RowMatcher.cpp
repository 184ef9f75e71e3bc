#include "align/RowMatcher.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

RowMatcher::RowMatcher(cv::Mat A, cv::Mat B, int t, int r, size_t budgetBytes, int groupedHeight)
    : A(std::move(A)), B(std::move(B)), t(t), r(r), budget(budgetBytes), groupedHeight(groupedHeight) {}

int RowMatcher::widestRun(int rows) const {
    const size_t perColumn = static_cast<size_t>(rows) * WindowStatistics::bytesPerPixel(A.channels());
    return static_cast<int>(std::min<size_t>(budget / perColumn, static_cast<size_t>(B.cols)));
}

std::vector<PatchMatch> RowMatcher::matchRow(int y, std::span<const int> centres) {
    columns.assign(centres.begin(), centres.end());
    windows.clear();
    for (const int x : columns) windows.push_back(patchWindow(y, x, t, r, A.size(), B.size()));
    matches.assign(windows.size(), PatchMatch{});
    // Runs of consecutive windows that overlap and fit the budget together. The windows
    // of one row share their rows.
    for (size_t first = 0; first < windows.size();) {
        const cv::Rect& w = windows[first].window;
        const int widest = windows[first].empty ? 0 : widestRun(w.height);
        int right = w.x + w.width;
        size_t last = first + 1;
        for (; last < windows.size() && !windows[last].empty; ++last) {
            const cv::Rect& next = windows[last].window;
            const int end = std::max(right, next.x + next.width);
            if (next.x > right || end - w.x > widest) break;
            right = end;
        }
        matchRun(first, last, !windows[first].empty && w.width <= widest);
        first = last;
    }
    previous.clear();
    for (size_t k = 0; k < windows.size(); ++k)
        if (std::isfinite(matches[k].score)) previous.emplace_back(columns[k], cv::Point(matches[k].dx, matches[k].dy));
    return matches;
}

void RowMatcher::matchRun(size_t first, size_t last, bool hold) {
    const PatchWindow& leftmost = windows[first];
    const int left = leftmost.window.x;
    if (hold) {
        const int right = windows[last - 1].window.x + windows[last - 1].window.width;
        const cv::Rect span(left, leftmost.window.y, right - left, leftmost.window.height);
        statistics.compute(B.ptr(span.y, span.x), B.step, span.height, span.width, leftmost.side, B.channels());
    }
    hints.resize(kGroup);
    if (!hold || leftmost.window.height < groupedHeight) {
        for (size_t k = first; k < last; ++k) {
            hintsFor(k, true, hints[0]);
            const cv::Point origin(windows[k].window.x - left, 0);
            matches[k] = searchPatch(windows[k], A, B, hints[0], hold ? &statistics : nullptr, origin);
        }
        return;
    }
    for (size_t k = first; k < last; k += kGroup) {
        const size_t n = std::min(kGroup, last - k);
        origins.clear();
        for (size_t j = 0; j < n; ++j) {
            hintsFor(k + j, j == 0, hints[j]);
            origins.emplace_back(windows[k + j].window.x - left, 0);
        }
        searchPatches(std::span(windows).subspan(k, n), A, B, std::span(hints).first(n), {statistics, origins},
                      std::span(matches).subspan(k, n));
    }
}

void RowMatcher::hintsFor(size_t k, bool left, std::vector<cv::Point>& out) const {
    out.clear();
    if (left && k > 0 && std::isfinite(matches[k - 1].score)) out.emplace_back(matches[k - 1].dx, matches[k - 1].dy);
    const auto above = std::lower_bound(previous.begin(), previous.end(), columns[k],
                                        [](const std::pair<int, cv::Point>& p, int x) { return p.first < x; });
    if (above != previous.end() && above->first == columns[k] && (out.empty() || out[0] != above->second))
        out.push_back(above->second);
}

} // namespace tl
