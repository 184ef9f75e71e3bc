#include "align/MotionRange.hpp"

#include "align/DenseFlow.hpp"
#include "align/GridCornerDetector.hpp"
#include "align/MatchPatch.hpp"
#include "align/ThreadTeam.hpp"
#include "common/ElementType.hpp"

#include <opencv2/features2d.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr std::size_t maxSamples = 30;
constexpr double maxVerifiedScore = 3.7e7;  // 33 x 33 x 3 elements off by about 106 levels
constexpr float minFlow = 0.01f;            // squared smoothed flow of a moving corner

struct Candidate {
    float flow;  // squared smoothed flow
    int row, column;
};

// 255 at every corner of the instant image inside the ghost mask; empty when none.
cv::Mat detectCorners(const cv::Mat& instantMatching, const cv::Mat& ghostMask, int blockSide) {
    const cv::Ptr<cv::GFTTDetector> detector = cv::GFTTDetector::create(1000, 0.01, 2.0, blockSide, false, 0.04);
    const std::vector<cv::KeyPoint> corners = detectGridCorners(instantMatching, ghostMask, *detector, 300, 10, 10);
    if (corners.empty()) return cv::Mat();
    cv::Mat mask = cv::Mat::zeros(instantMatching.size(), CV_8UC1);
    for (const cv::KeyPoint& corner : corners) {
        const int row = std::clamp(cvRound(corner.pt.y), 0, mask.rows - 1);
        const int column = std::clamp(cvRound(corner.pt.x), 0, mask.cols - 1);
        mask.at<uint8_t>(row, column) = 255;
    }
    return mask;
}

// Grey version of an image for the flow. The flow's solver adds a fixed small term to
// its determinants, which assumes levels of at least the 8-bit scale: float images (0 to
// 1 as a rule) would see no motion at all, so their greys are brought to 0 to 255 by the
// instant image's largest element, the same factor for both images.
cv::Mat flowGrey(const cv::Mat& image, float floatScale) {
    cv::Mat grey;
    if (image.channels() == 1)
        grey = image.clone();
    else
        cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY);
    if (grey.depth() == CV_32F) grey *= floatScale;
    return grey;
}

// The corners that lie more than S pixels inside every edge, in row-major order.
std::vector<FlowPixel> innerCorners(const cv::Mat& corners, int S) {
    std::vector<FlowPixel> pixels;
    for (int i = S + 1; i < corners.rows - S; ++i) {
        const uint8_t* row = corners.ptr<uint8_t>(i);
        for (int j = S + 1; j < corners.cols - S; ++j)
            if (row[j] != 0) pixels.push_back({i, j});
    }
    return pixels;
}

// The squared length of the dense flow from the instant image to the exposure, smoothed
// over side x side pixels, at each of the pixels. The flow is needed there only, so it is
// never held whole (see smoothedFlowAt).
std::vector<float> squaredFlowAt(const ExposurePair& pair, const std::vector<FlowPixel>& pixels, int side,
                                 int threads) {
    if (pixels.empty()) return {};
    const float largest = pair.instant.depth() == CV_32F ? static_cast<float>(largestElement(pair.instant)) : 0.0f;
    const float floatScale = largest > 0 && std::isfinite(largest) ? 255.0f / largest : 1.0f;
    const std::vector<cv::Vec2f> flows = smoothedFlowAt(flowGrey(pair.instant, floatScale),
                                                        flowGrey(pair.exposure, floatScale), pixels, side, 2.0, threads);
    std::vector<float> squared;
    squared.reserve(flows.size());
    for (const cv::Vec2f& f : flows) squared.push_back(f[0] * f[0] + f[1] * f[1]);
    return squared;
}

// Population deviation of the mixed second derivative over the instant image's window,
// summed in single precision.
float textureDeviation(const cv::Mat& window) {
    cv::Mat grey = window, derivative;
    if (window.channels() > 1) cv::cvtColor(window, grey, cv::COLOR_BGR2GRAY);
    cv::Sobel(grey, derivative, CV_32F, 1, 1, 3, 1, 0, cv::BORDER_DEFAULT);
    const float count = static_cast<float>(derivative.total());
    float sum = 0;
    for (int y = 0; y < derivative.rows; ++y)
        for (int x = 0; x < derivative.cols; ++x) sum += derivative.at<float>(y, x);
    const float mean = sum / count;
    float squares = 0;
    for (int y = 0; y < derivative.rows; ++y)
        for (int x = 0; x < derivative.cols; ++x) {
            const float deviation = derivative.at<float>(y, x) - mean;
            squares += deviation * deviation;
        }
    return static_cast<float>(std::sqrt(static_cast<double>(squares / count)));
}

// The corners (pixels, with their squared flow) that moved and sit in textured places, in
// row-major order.
std::vector<Candidate> candidates(const std::vector<FlowPixel>& pixels, const std::vector<float>& squaredFlow,
                                  const cv::Mat& instant, int S, float threshold) {
    const int side = 2 * S + 1, H = instant.rows, W = instant.cols;
    std::vector<Candidate> found;
    for (std::size_t k = 0; k < pixels.size(); ++k) {
        const float m = squaredFlow[k];
        if (!(m >= minFlow)) continue;
        const int i = pixels[k].row, j = pixels[k].column;
        int left = std::max(0, j - S), top = std::max(0, i - S);
        if (left + side >= W) left = W - side - 1;
        if (top + side >= H) top = H - side - 1;
        if (textureDeviation(instant(cv::Rect(left, top, side, side))) >= threshold) found.push_back({m, i, j});
    }
    return found;
}

// The squared displacements of the first maxSamples candidates, in ranked order, whose
// patch match moved and fits well. Whether a candidate counts depends on its own match
// only, so the matches still needed are computed together on the threads and then
// taken in order: the samples are those of one match after another.
struct VerifiedSamples {
    std::vector<float> squaredDisplacements;
    long long patchesMatched = 0;
};

VerifiedSamples verifiedSamples(const std::vector<Candidate>& ranked, const ExposurePair& pair, int S, int R,
                                int threads) {
    ThreadTeam team(threads);
    std::vector<float> samples;
    std::vector<PatchMatch> results;
    std::size_t next = 0;
    while (next < ranked.size() && samples.size() < maxSamples) {
        results.assign(std::min(ranked.size() - next, maxSamples - samples.size()), PatchMatch{});
        const auto members = static_cast<std::size_t>(team.size());
        team.run([&](int member) {
            for (std::size_t k = static_cast<std::size_t>(member); k < results.size(); k += members) {
                const Candidate& c = ranked[next + k];
                results[k] = matchPatch({c.row, c.column, S, R}, pair.instantMatching, pair.exposureMatching);
            }
        });
        for (const PatchMatch& v : results)
            if ((v.dy != 0 || v.dx != 0) && v.score <= maxVerifiedScore)
                samples.push_back(static_cast<float>(v.dx * v.dx + v.dy * v.dy));
        next += results.size();
    }
    return {samples, static_cast<long long>(next)};
}

} // namespace

float textureThreshold(const cv::Mat& instant) {
    switch (instant.depth()) {
    case CV_8U: return 0.0225f * 255.0f;
    case CV_16U: return 0.0225f * 65535.0f;
    default: return 0.0225f * static_cast<float>(largestElement(instant));
    }
}

int radiusFromSamples(std::vector<float> samples, int h) {
    std::sort(samples.begin(), samples.end());
    const float d = samples.empty() ? 0.0f : std::sqrt(samples[samples.size() / 2]);
    const int whole = static_cast<int>(d);
    return d > static_cast<float>(3 * h) ? whole + h + 2 : whole + 2 * h + 2;
}

MotionRange MotionRangeEstimator::estimate(const ExposurePair& pair, const cv::Mat& ghostMask, int patchHalfSize,
                                           int threads) {
    const int S = 2 * patchHalfSize, P = 2 * S + 1;
    const int rows = pair.instant.rows, cols = pair.instant.cols;
    const int R = std::max(rows, cols) / 20;
    if (corners.rows != rows || corners.cols != cols) {
        cv::Mat found = detectCorners(pair.instantMatching, ghostMask, P);
        if (found.empty()) return {2 * patchHalfSize + 1, 0};
        corners = found;
    }

    const std::vector<FlowPixel> pixels = innerCorners(corners, S);
    std::vector<Candidate> ranked = candidates(pixels, squaredFlowAt(pair, pixels, P, threads), pair.instant, S,
                                               textureThreshold(pair.instant));
    // Strongest flow first; among equal ones the first in row-major order.
    std::stable_sort(ranked.begin(), ranked.end(), [](const Candidate& a, const Candidate& b) { return a.flow > b.flow; });

    const VerifiedSamples verified = verifiedSamples(ranked, pair, S, R, threads);
    return {radiusFromSamples(verified.squaredDisplacements, patchHalfSize), verified.patchesMatched};
}

} // namespace tl
