#include "align/ExposureAlignment.hpp"

#include "align/ecc/EccTranslation.hpp"
#include "common/ExceptionCause.hpp"

#include <opencv2/imgproc.hpp>

#include <new>

namespace tl {

namespace {

// 0.001 as the single-precision value it has always been, widened to double.
constexpr double alignmentEpsilon = static_cast<double>(0.001f);
constexpr int alignmentIterations = 5;

// The translation that carries instant image coordinates into the exposure: the instant
// image is the template, the exposure the input. Empty when the images are uncorrelated.
cv::Mat estimateTranslation(const cv::Mat& greyInstant, const cv::Mat& greyExposure) {
    cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
    const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS,
                                    alignmentIterations, alignmentEpsilon);
    if (!estimateEccTranslation(greyInstant, greyExposure, warp, criteria)) return {};
    return warp;
}

cv::Mat alignOrThrow(const cv::Mat& greyInstant, const cv::Mat& exposure, int instantChannels) {
    CV_Assert(exposure.size() == greyInstant.size());
    cv::Mat greyExposure = exposure;
    if (instantChannels > 1) cv::cvtColor(exposure, greyExposure, cv::COLOR_BGR2GRAY);
    const cv::Mat warp = estimateTranslation(greyInstant, greyExposure);
    if (warp.empty())
        throw StepFailure(
            alignmentFailure("The exposure and the instant image do not correlate: there is nothing to align them by."));
    greyExposure.release();
    // Copied only now, when the estimate's working buffers are gone: the copy does not
    // add to the peak, which is what fails first on large images.
    cv::Mat aligned = exposure.clone();
    // aligned(x) = exposure(warp * x) puts the exposure's content where the instant image
    // has it. Nearest neighbour keeps the exposure's own values; where warp * x falls
    // outside the exposure the transparent border leaves the copied, unaligned pixel.
    cv::warpAffine(exposure, aligned, warp, greyInstant.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                   cv::BORDER_TRANSPARENT, 0);
    return aligned;
}

}  // namespace

cv::Mat alignExposure(const cv::Mat& greyInstant, const cv::Mat& exposure, int instantChannels) {
    cv::Mat aligned;
    try {
        aligned = alignOrThrow(greyInstant, exposure, instantChannels);
    } catch (const cv::Exception& e) {
        throw StepFailure(alignmentFailure(causeOf(e)));
    } catch (const std::bad_alloc& e) {
        throw StepFailure(alignmentFailure(causeOf(e)));
    }
    return aligned;
}

Failure alignmentFailure(const std::string& cause) {
    const std::string advice = "try to disable this option next times.";
    if (!cause.empty() && cause != notEnoughMemory)
        return {Failure::Code::alignmentFailed, "", "The align option failed: " + cause + " Please " + advice};
    std::string message = "The align option failed maybe because of a lack of memory, " + advice;
    if (!cause.empty()) message += "\n" + cause;
    return {Failure::Code::alignmentFailed, "", message};
}

} // namespace tl
