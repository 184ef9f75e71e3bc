#include "merge/MergeEngine.hpp"

#include "common/ElementType.hpp"
#include "common/ExceptionCause.hpp"
#include "common/Failure.hpp"
#include "fusion/CompensationJob.hpp"
#include "fusion/ExposureCompensation.hpp"
#include "fusion/MatchingCopy.hpp"
#include "fusion/ProgressFile.hpp"
#include "merge/AccumulationWorkers.hpp"

#include <algorithm>
#include <new>

namespace tl {

MergeEngine::MergeEngine() = default;

namespace {

// The pair of images with the 8-bit copies for patch matching, which only an exposure with
// a ghost pixel needs.
ExposurePair pairFor(const cv::Mat& instant, const cv::Mat& exposure, bool noGhost) {
    if (noGhost) return {instant, exposure, cv::Mat(), cv::Mat()};
    return {instant, exposure, matchingCopy(instant), matchingCopy(exposure)};
}

} // namespace

std::optional<CompensatedExposure> MergeEngine::compensateImage(const CompensationRequest& request,
                                                                const cv::Mat& instant, const cv::Mat& exposure) {
    const int depth = depthOfBits(request.bitsPerChannel);
    if (depth < 0 || instant.depth() != depth) return std::nullopt;
    // Too small for a patch and an interior: the exposure is accumulated as it is.
    const int h = request.patchHalfSize;
    if (instant.rows < 2 * h + 2 || instant.cols < 2 * h + 2) return CompensatedExposure{exposure, 0};
    // An exposure that cannot be compensated (for want of memory, on any of its threads)
    // fails as one whose automatic radius failed.
    const auto compensationFailure = [&](const std::exception& cause) {
        return StepFailure({Failure::Code::compensationFailed, "",
                            "The exposure at visiting position " + std::to_string(request.visitingPosition) +
                                " could not be compensated: " + causeOf(cause) + "\n"});
    };
    const int bandWorkers = std::max(1, request.bandWorkers);
    try {
        ProgressFile progress(request.progressPath, request.visitingPosition);
        progress.begin();
        const GhostMask ghostMask = buildGhostMask(instant, exposure, request.ghostThreshold);
        const ExposurePair pair = pairFor(instant, exposure, ghostMask.noGhost);
        const int radius = request.searchRadius >= 0
                               ? request.searchRadius
                               : chooseSearchRadius(pair, ghostMask, request.patchHalfSize, bandWorkers);
        const BandLayout layout{instant.rows, instant.cols, h, normaliseTileSize(request.tileSize)};
        return compensateExposure({pair, ghostMask.mask, layout, radius, bandWorkers}, progress);
    } catch (const cv::Exception& cause) {
        throw compensationFailure(cause);
    } catch (const std::bad_alloc& cause) {
        throw compensationFailure(cause);
    }
}

GhostMask MergeEngine::buildGhostMask(const cv::Mat& instant, const cv::Mat& exposure, float ghostThreshold) {
    return ghosts.detect(instant, exposure, ghostThreshold);
}

int MergeEngine::chooseSearchRadius(const ExposurePair& pair, const GhostMask& ghostMask, int patchHalfSize,
                                    int threads) {
    if (ghostMask.noGhost) return 2 * patchHalfSize + 1;
    try {
        return motionRange.estimate(pair, ghostMask.mask, patchHalfSize, threads).searchRadius;
    } catch (const std::exception&) {
        throw StepFailure({Failure::Code::searchRadiusFailed, "",
                           "The automatic ghosting power option failed maybe because of a lack of memory, "
                           "try to disable this option next times"});
    }
}

cv::Mat MergeEngine::finishLightImage() {
    try {
        return light.finish();
    } catch (const std::exception&) {
        throw StepFailure(lightMemoryFailure());
    }
}

} // namespace tl
