#include "reference/ExposureEstimate.hpp"

#include "common/ElementType.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

// Fewer well-exposed samples in common than this tell no ratio.
constexpr std::size_t fewestPairSamples = 200;
// Below this share of the samples its ratio puts in both frames' well-exposed range, a
// pair's ratio is not the still scene's: frames agree on theirs for half of them or more
// (the rest moved or sit at an edge), while a ratio made up by a moving object, between
// frames whose ranges barely meet, finds a few hundredths.
constexpr double leastAgreement = 0.25;
// The least spread of a pair's log2 ratios, in stops: frames of one exposure share many
// codes, and a spread of 0 would give their pair all the weight.
constexpr double leastSpread = 0.05;

struct PairRatio {
    int darker, brighter;  // frame indices; log2 ratio = exposure[brighter] - exposure[darker]
    double log2Ratio;
    double weight;  // the inverse of the median's variance
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

// How many samples of frame a a ratio of log2Ratio puts in both frames' well-exposed range.
template <typename T>
double expectedInBoth(const cv::Mat& a, const SampleReading& readA, const SampleReading& readB, double log2Ratio) {
    const float factor = static_cast<float>(std::exp2(log2Ratio));
    const int channels = a.channels();
    double count = 0;
    for (int y = 0; y < a.rows; ++y) {
        const T* row = a.ptr<T>(y);
        for (int x = 0; x < a.cols * channels; ++x)
            if (readA.wellExposed(row[x]) && readB.wellExposedLight(readA.light(row[x], x % channels) * factor, x % channels))
                ++count;
    }
    return count;
}

// The value below which the share of values lies (reorders them).
double quantile(std::vector<double>& values, double share) {
    const auto at = values.begin() + static_cast<long>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

std::optional<PairRatio> pairRatio(const cv::Mat& a, const cv::Mat& b, const SampleReading& readA,
                                   const SampleReading& readB, int indexA, int indexB) {
    std::vector<double> ratios;
    withElementType(a.depth(), [&]<typename T>() { ratios = logRatios<T>(a, b, readA, readB); });
    if (ratios.size() < fewestPairSamples) return std::nullopt;
    const double n = static_cast<double>(ratios.size());
    // The spread from the quartiles (the standard deviation of normal errors): frames far
    // apart meet only where one of them is near its floor or its clip level, and there the
    // ratios scatter and lean; pairs whose samples agree closely tell the exposures.
    const double median = quantile(ratios, 0.5);
    const double spread = std::max(leastSpread, (quantile(ratios, 0.75) - quantile(ratios, 0.25)) / 1.349);
    double expected = 0;
    withElementType(a.depth(), [&]<typename T>() { expected = expectedInBoth<T>(a, readA, readB, median); });
    // The share of the samples that ratio puts in both ranges that are there: near 1 where
    // the frames agree on it, far below where a moving object or a gap wider than both
    // frames' range made it up.
    if (n < leastAgreement * expected) return std::nullopt;
    return PairRatio{indexA, indexB, median, n / (spread * spread)};
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

// Least squares over the pairs, each weighted by the inverse variance of its median; the
// instant frame is held at 0 by a heavy equation of its own.
cv::Mat fitExposures(const std::vector<PairRatio>& pairs, int count, int instant) {
    cv::Mat normal = cv::Mat::zeros(count, count, CV_64F), right = cv::Mat::zeros(count, 1, CV_64F);
    double total = 1;
    for (const PairRatio& p : pairs) {
        const double w = p.weight;
        total += w;
        normal.at<double>(p.darker, p.darker) += w;
        normal.at<double>(p.brighter, p.brighter) += w;
        normal.at<double>(p.darker, p.brighter) -= w;
        normal.at<double>(p.brighter, p.darker) -= w;
        right.at<double>(p.brighter) += w * p.log2Ratio;
        right.at<double>(p.darker) -= w * p.log2Ratio;
    }
    normal.at<double>(instant, instant) += 1e6 * total;
    for (int i = 0; i < count; ++i) normal.at<double>(i, i) += 1e-9 * total;  // frames no pair reaches
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
