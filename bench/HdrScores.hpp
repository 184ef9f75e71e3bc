#pragma once

#include <opencv2/core.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace tl {

// The scores of the deghosting literature for a merged radiance image against the truth.
// The result is first brought onto the truth's scale by one factor (the median ratio of
// truth to result over every sample where both are positive), then both are divided by
// the truth's 99.9th percentile, cut to 0..1 and passed through the mu-law
// T(x) = log(1 + mu x) / log(1 + mu), mu = 5000.
struct HdrScores {
    double psnr;        // dB over the whole image, after the mu-law
    double ghostError;  // mean absolute mu-law error over the given region
};

inline double percentileOf(std::vector<float> values, double share) {
    if (values.empty()) return 0;
    const auto at = values.begin() + static_cast<long>(share * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), at, values.end());
    return *at;
}

inline std::vector<float> samplesOf(const cv::Mat& image) {
    const cv::Mat flat = image.reshape(1, 1);
    return std::vector<float>(flat.begin<float>(), flat.end<float>());
}

inline double fittedScale(const cv::Mat& result, const cv::Mat& truth) {
    std::vector<float> ratios;
    const std::vector<float> r = samplesOf(result), t = samplesOf(truth);
    for (std::size_t i = 0; i < r.size(); ++i)
        if (r[i] > 0 && t[i] > 0 && std::isfinite(r[i])) ratios.push_back(t[i] / r[i]);
    return ratios.empty() ? 1.0 : percentileOf(ratios, 0.5);
}

inline cv::Mat muLaw(const cv::Mat& image, double normaliser) {
    constexpr double mu = 5000;
    // One channel for the arithmetic: OpenCV's expressions on several channels are deprecated.
    const cv::Mat flat = image.reshape(1);
    cv::Mat x = cv::min(cv::max(flat / normaliser, 0.0), 1.0);
    cv::Mat out;
    cv::log(x * mu + 1, out);
    const cv::Mat scaled = out / std::log(1 + mu);
    return scaled.reshape(image.channels());
}

// result and truth: float images of the same size and channels; region: 8-bit, 255 where the
// ghost error is measured (may be empty).
inline HdrScores scoreAgainstTruth(const cv::Mat& result, const cv::Mat& truth, const cv::Mat& region) {
    cv::Mat r, t;
    result.convertTo(r, CV_32F);
    truth.convertTo(t, CV_32F);
    cv::patchNaNs(r, 0);
    const double normaliser = percentileOf(samplesOf(t), 0.999);
    const cv::Mat a = muLaw(r * fittedScale(r, t), normaliser), b = muLaw(t, normaliser);
    cv::Mat difference;
    cv::absdiff(a, b, difference);
    const cv::Mat squared = difference.mul(difference);
    const double mse = cv::mean(squared.reshape(1))[0];
    HdrScores scores{10 * std::log10(1 / std::max(mse, 1e-12)), 0};
    if (!region.empty() && cv::countNonZero(region) > 0) {
        cv::Mat grey = difference.reshape(1, difference.rows * difference.cols);
        cv::Mat perPixel;
        cv::reduce(grey, perPixel, 1, cv::REDUCE_AVG);
        scores.ghostError = cv::mean(perPixel.reshape(1, difference.rows), region)[0];
    }
    return scores;
}

} // namespace tl
