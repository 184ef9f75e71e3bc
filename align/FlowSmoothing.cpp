#include "align/FlowSmoothing.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>

namespace tl {

namespace {

// Rows blurred in one call at most: a call also filters side - 1 rows around its own.
constexpr int runRows = 32;

struct Run {
    int first, last;  // rows, inclusive
};

std::vector<Run> rowRuns(const std::vector<int>& sortedRows) {
    std::vector<Run> runs;
    for (int row : sortedRows) {
        if (!runs.empty() && row - runs.back().first < runRows)
            runs.back().last = row;
        else
            runs.push_back({row, row});
    }
    return runs;
}

cv::Mat blurRows(const cv::Mat& flow, const Run& run, int side, double sigma) {
    cv::Mat smoothed;
    cv::GaussianBlur(flow.rowRange(run.first, run.last + 1), smoothed, cv::Size(side, side), sigma, 0,
                     cv::BORDER_DEFAULT);
    return smoothed;
}

} // namespace

std::vector<cv::Vec2f> gaussianAt(const cv::Mat& flow, const std::vector<FlowPixel>& pixels, int side, double sigma,
                                  ThreadTeam& team) {
    for (const FlowPixel& p : pixels)
        CV_Assert(p.row >= 0 && p.row < flow.rows && p.column >= 0 && p.column < flow.cols);
    std::vector<cv::Vec2f> result(pixels.size());
    if (pixels.empty()) return result;

    // A single row or column is blurred with a narrowed kernel only as a whole image.
    if (flow.rows == 1 || flow.cols == 1) {
        cv::Mat smoothed;
        cv::GaussianBlur(flow, smoothed, cv::Size(side, side), sigma, 0, cv::BORDER_DEFAULT);
        for (size_t i = 0; i < pixels.size(); i++) result[i] = smoothed.at<cv::Vec2f>(pixels[i].row, pixels[i].column);
        return result;
    }

    std::vector<size_t> order(pixels.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return pixels[a].row < pixels[b].row; });
    std::vector<int> rows;
    for (size_t i : order)
        if (rows.empty() || rows.back() != pixels[i].row) rows.push_back(pixels[i].row);
    const std::vector<Run> runs = rowRuns(rows);

    // Pixels in row order, and where each run's pixels begin in that order.
    std::vector<size_t> runStart(runs.size() + 1, order.size());
    for (size_t r = 0, i = 0; r < runs.size(); r++) {
        runStart[r] = i;
        while (i < order.size() && pixels[order[i]].row <= runs[r].last) i++;
    }

    team.run([&](int index) {
        const Share share = shareOf(static_cast<int>(runs.size()), team.size(), index);
        for (int r = share.begin; r < share.end; r++) {
            const Run& run = runs[static_cast<size_t>(r)];
            const cv::Mat smoothed = blurRows(flow, run, side, sigma);
            for (size_t i = runStart[static_cast<size_t>(r)]; i < runStart[static_cast<size_t>(r) + 1]; i++) {
                const FlowPixel& p = pixels[order[i]];
                result[order[i]] = smoothed.at<cv::Vec2f>(p.row - run.first, p.column);
            }
        }
    });
    return result;
}

} // namespace tl
