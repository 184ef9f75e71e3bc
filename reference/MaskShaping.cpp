#include "reference/MaskShaping.hpp"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <vector>

namespace tl {

namespace {

constexpr float strong = 1.0f, weak = 0.5f;

// The weak areas that hold a seed.
cv::Mat grownSeeds(const cv::Mat& score) {
    cv::Mat seeds;
    cv::erode(score >= strong, seeds, cv::getStructuringElement(cv::MORPH_RECT, {3, 3}));
    const cv::Mat weakAreas = score >= weak;
    cv::Mat labels;
    const int count = cv::connectedComponents(weakAreas, labels, 8, CV_32S);
    std::vector<std::uint8_t> seeded(static_cast<std::size_t>(count), 0);
    for (int y = 0; y < seeds.rows; ++y) {
        const std::uint8_t* seed = seeds.ptr<std::uint8_t>(y);
        const int* label = labels.ptr<int>(y);
        for (int x = 0; x < seeds.cols; ++x)
            if (seed[x]) seeded[static_cast<std::size_t>(label[x])] = 1;
    }
    seeded[0] = 0;  // the background label
    cv::Mat kept(score.size(), CV_8U);
    for (int y = 0; y < kept.rows; ++y) {
        const int* label = labels.ptr<int>(y);
        std::uint8_t* out = kept.ptr<std::uint8_t>(y);
        for (int x = 0; x < kept.cols; ++x) out[x] = seeded[static_cast<std::size_t>(label[x])] ? 255 : 0;
    }
    return kept;
}

} // namespace

cv::Mat shapeMask(const cv::Mat& score, double featherSigma) {
    const cv::Mat kept = grownSeeds(score);
    const int growth = static_cast<int>(std::ceil(2 * featherSigma)) + 1;
    cv::Mat grown;
    cv::dilate(kept, grown, cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * growth + 1, 2 * growth + 1}));
    cv::Mat mask;
    grown.convertTo(mask, CV_32F, 1.0 / 255);
    cv::GaussianBlur(mask, mask, {0, 0}, featherSigma, featherSigma, cv::BORDER_REPLICATE);
    return mask;
}

cv::Mat expandMask(const cv::Mat& mask, cv::Size size) {
    cv::Mat full;
    cv::resize(mask, full, size, 0, 0, cv::INTER_LINEAR);
    full.convertTo(full, CV_8U, 255);
    return full;
}

} // namespace tl
