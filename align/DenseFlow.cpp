#include "align/DenseFlow.hpp"

#include "align/FlowPyramid.hpp"
#include "align/FlowSmoothing.hpp"
#include "align/LevelFlow.hpp"
#include "align/ThreadTeam.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace tl {

namespace {

constexpr int blurChunkRows = 64;  // rows converted and blurred per call

// The whole input blurred for `level` into `blurred`, the members sharing the rows.
void blurWhole(const cv::Mat& input, const FlowLevel& level, cv::Mat& blurred, ThreadTeam& team) {
    blurred.create(input.size(), CV_32F);
    team.run([&](int index) {
        const Share share = shareOf(input.rows, team.size(), index);
        cv::Mat scratch;
        for (int y = share.begin; y < share.end; y += blurChunkRows)
            blurLevelRows(input, level, y, std::min(y + blurChunkRows, share.end), blurred, scratch);
    });
}

// The starting flow of a level: zero at the coarsest, else the coarser level's flow
// enlarged and scaled, as the reference does it.
cv::Mat startingFlow(cv::Mat& coarser, const FlowLevel& level) {
    if (coarser.empty()) return cv::Mat::zeros(level.height, level.width, CV_32FC2);
    cv::Mat flow;
    cv::resize(coarser, flow, cv::Size(level.width, level.height), 0, 0, cv::INTER_LINEAR);
    flow *= 1. / flowPyramidScale;
    coarser.release();
    return flow;
}

} // namespace

cv::Mat denseFlow(const cv::Mat& first, const cv::Mat& second, int threads) {
    CV_Assert(!first.empty() && first.size() == second.size() && first.type() == second.type() && first.channels() == 1);
    CV_Assert(first.depth() == CV_8U || first.depth() == CV_16U || first.depth() == CV_32F);
    const std::vector<FlowLevel> levels = flowLevels(first.size());
    ThreadTeam team(threads);

    cv::Mat flow, blurred;
    for (int k = static_cast<int>(levels.size()) - 1; k >= 0; k--) {
        const FlowLevel& level = levels[static_cast<size_t>(k)];
        // The full-size buffer goes while the flow is enlarged to full size.
        if (k == 0) blurred.release();
        flow = startingFlow(flow, level);
        if (k > 0) {
            cv::Mat firstImage, secondImage;
            blurWhole(first, level, blurred, team);
            resizeToLevel(blurred, level, firstImage);
            blurWhole(second, level, blurred, team);
            resizeToLevel(blurred, level, secondImage);
            LevelFlow(level, firstImage, first, secondImage, flow, team).run();
        } else {
            // At full size the level images are the blurred inputs: the second is kept
            // whole, since the flow samples it anywhere, the first is blurred strip by strip.
            blurWhole(second, level, blurred, team);
            LevelFlow(level, cv::Mat(), first, blurred, flow, team).run();
        }
    }
    return flow;
}

std::vector<cv::Vec2f> smoothedFlowAt(const cv::Mat& first, const cv::Mat& second,
                                      const std::vector<FlowPixel>& pixels, int side, double sigma, int threads) {
    const cv::Mat flow = denseFlow(first, second, threads);
    ThreadTeam team(threads);
    return gaussianAt(flow, pixels, side, sigma, team);
}

} // namespace tl
