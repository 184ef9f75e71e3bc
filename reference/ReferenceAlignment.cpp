#include "reference/ReferenceAlignment.hpp"

#include "align/ecc/EccTranslation.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr int coarseLevelSide = 96;  // the coarse level is used when it keeps this much

cv::Mat comparable(const ReducedFrame& frame, ClipRange range) {
    cv::Mat grey;
    if (frame.light.channels() == 1) grey = frame.light;
    else cv::cvtColor(frame.light, grey, frame.light.channels() == 4 ? cv::COLOR_BGRA2GRAY : cv::COLOR_BGR2GRAY);
    cv::Mat limited = cv::max(cv::min(grey, range.clip), range.floor);
    cv::Mat root;
    cv::sqrt(limited, root);
    cv::sqrt(root, root);
    return root;
}

bool refine(const cv::Mat& instant, const cv::Mat& frame, cv::Mat& warp) {
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 60, 1e-4);
    return estimateEccTranslation(instant, frame, warp, criteria);
}

} // namespace

std::optional<cv::Point2f> estimateShift(const ReducedFrame& instant, const ReducedFrame& frame, ClipRange range,
                                         int factor) {
    const cv::Mat a = comparable(instant, range), b = comparable(frame, range);
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    if (std::min(a.rows, a.cols) / 4 >= coarseLevelSide) {
        cv::Mat smallA, smallB;
        cv::resize(a, smallA, {a.cols / 4, a.rows / 4}, 0, 0, cv::INTER_AREA);
        cv::resize(b, smallB, {b.cols / 4, b.rows / 4}, 0, 0, cv::INTER_AREA);
        if (refine(smallA, smallB, warp)) {
            warp.at<float>(0, 2) *= 4;
            warp.at<float>(1, 2) *= 4;
        } else {
            warp = cv::Mat::eye(2, 3, CV_32F);
        }
    }
    if (!refine(a, b, warp)) return std::nullopt;
    return cv::Point2f(warp.at<float>(0, 2) * factor, warp.at<float>(1, 2) * factor);
}

cv::Mat shiftFrame(const cv::Mat& frame, cv::Point2f shift) {
    const cv::Matx23f warp(1, 0, shift.x, 0, 1, shift.y);
    cv::Mat shifted;
    cv::warpAffine(frame, shifted, warp, frame.size(), cv::INTER_LINEAR | cv::WARP_INVERSE_MAP, cv::BORDER_REPLICATE);
    return shifted;
}

cv::Rect shiftedArea(cv::Size size, cv::Point2f shift) {
    // Pixel x of the result comes from x + shift.x of the frame, which must lie inside it.
    const int left = std::clamp(static_cast<int>(std::ceil(-shift.x)), 0, size.width);
    const int right = std::clamp(static_cast<int>(std::floor(size.width - 1 - shift.x)) + 1, left, size.width);
    const int top = std::clamp(static_cast<int>(std::ceil(-shift.y)), 0, size.height);
    const int bottom = std::clamp(static_cast<int>(std::floor(size.height - 1 - shift.y)) + 1, top, size.height);
    return {left, top, right - left, bottom - top};
}

} // namespace tl
