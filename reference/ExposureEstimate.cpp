#include "reference/ExposureEstimate.hpp"

#include "common/ElementType.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

// Fewer well-exposed samples in common than this tell no ratio.
constexpr std::size_t fewestPairSamples = 200;

struct PairRatio {
    int darker, brighter;  // frame indices; log2 ratio = exposure[brighter] - exposure[darker]
    double log2Ratio;
    double samples;
};

template <typename T>
std::vector<double> logRatios(const cv::Mat& a, const cv::Mat& b, const SampleReading& readA,
                              const SampleReading& readB) {
    std::vector<double> ratios;
    const int channels = a.channels();
    for (int y = 0; y < a.rows; ++y) {
        const T* rowA = a.ptr<T>(y);
        const T* rowB = b.ptr<T>(y);
        for (int x = 0; x < a.cols * channels; ++x) {
            const int c = x % channels;
            if (readA.wellExposed(rowA[x]) && readB.wellExposed(rowB[x]))
                ratios.push_back(std::log2(double(readB.light(rowB[x], c)) / double(readA.light(rowA[x], c))));
        }
    }
    return ratios;
}

std::optional<PairRatio> pairRatio(const cv::Mat& a, const cv::Mat& b, const SampleReading& readA,
                                   const SampleReading& readB, int indexA, int indexB) {
    std::vector<double> ratios;
    withElementType(a.depth(), [&]<typename T>() { ratios = logRatios<T>(a, b, readA, readB); });
    if (ratios.size() < fewestPairSamples) return std::nullopt;
    const auto middle = ratios.begin() + static_cast<long>(ratios.size() / 2);
    std::nth_element(ratios.begin(), middle, ratios.end());
    return PairRatio{indexA, indexB, *middle, static_cast<double>(ratios.size())};
}

// The frames the pairs connect to the instant frame.
std::vector<bool> reachable(const std::vector<PairRatio>& pairs, int count, int instant) {
    std::vector<bool> reached(static_cast<std::size_t>(count), false);
    reached[static_cast<std::size_t>(instant)] = true;
    for (bool grew = true; grew;) {
        grew = false;
        for (const PairRatio& p : pairs) {
            auto a = reached[static_cast<std::size_t>(p.darker)], b = reached[static_cast<std::size_t>(p.brighter)];
            if (a == b) continue;
            reached[static_cast<std::size_t>(a ? p.brighter : p.darker)] = true;
            grew = true;
        }
    }
    return reached;
}

// Least squares over the pairs, each weighted by the square root of its sample count; the
// instant frame is held at 0 by a heavy equation of its own.
cv::Mat fitExposures(const std::vector<PairRatio>& pairs, int count, int instant) {
    cv::Mat normal = cv::Mat::zeros(count, count, CV_64F), right = cv::Mat::zeros(count, 1, CV_64F);
    for (const PairRatio& p : pairs) {
        const double w = std::sqrt(p.samples);
        normal.at<double>(p.darker, p.darker) += w;
        normal.at<double>(p.brighter, p.brighter) += w;
        normal.at<double>(p.darker, p.brighter) -= w;
        normal.at<double>(p.brighter, p.darker) -= w;
        right.at<double>(p.brighter) += w * p.log2Ratio;
        right.at<double>(p.darker) -= w * p.log2Ratio;
    }
    normal.at<double>(instant, instant) += 1e6;
    for (int i = 0; i < count; ++i) normal.at<double>(i, i) += 1e-9;  // frames no pair reaches
    cv::Mat exposures;
    cv::solve(normal, right, exposures, cv::DECOMP_SVD);
    return exposures;
}

} // namespace

std::vector<std::optional<double>> estimateExposures(const std::vector<cv::Mat>& samples,
                                                     const std::vector<SampleReading>& readings, int instant) {
    const int count = static_cast<int>(samples.size());
    std::vector<PairRatio> pairs;
    for (int a = 0; a < count; ++a)
        for (int b = a + 1; b < count; ++b)
            if (auto ratio = pairRatio(samples[static_cast<std::size_t>(a)], samples[static_cast<std::size_t>(b)],
                                       readings[static_cast<std::size_t>(a)], readings[static_cast<std::size_t>(b)],
                                       a, b))
                pairs.push_back(*ratio);
    const std::vector<bool> reached = reachable(pairs, count, instant);
    const cv::Mat fitted = fitExposures(pairs, count, instant);
    std::vector<std::optional<double>> exposures(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        if (reached[static_cast<std::size_t>(i)]) exposures[static_cast<std::size_t>(i)] = fitted.at<double>(i);
    return exposures;
}

} // namespace tl
