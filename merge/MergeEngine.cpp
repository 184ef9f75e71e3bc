#include "merge/MergeEngine.hpp"

#include "common/ElementType.hpp"
#include "common/ExceptionCause.hpp"
#include "diag/Log.hpp"
#include "fusion/CompensationJob.hpp"
#include "fusion/ExposureCompensation.hpp"
#include "fusion/MatchingCopy.hpp"
#include "fusion/ProgressFile.hpp"

#include <algorithm>

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
    try {
        return compensateOrThrow(request, instant, exposure);
    } catch (const std::exception& failure) {
        reportError("parallelComputeLightImage", "The exposure at visiting position " +
                                                     std::to_string(request.visitingPosition) +
                                                     " could not be compensated: " + causeOf(failure) + "\n");
        return std::nullopt;
    }
}

std::optional<CompensatedExposure> MergeEngine::compensateOrThrow(const CompensationRequest& request,
                                                                  const cv::Mat& instant, const cv::Mat& exposure) {
    ProgressFile progress(request.progressPath, request.visitingPosition);
    progress.begin();
    const GhostMask ghostMask = buildGhostMask(instant, exposure, request.ghostThreshold);
    const ExposurePair pair = pairFor(instant, exposure, ghostMask.noGhost);
    const int bandWorkers = std::max(1, request.bandWorkers);
    int radius = request.searchRadius;
    if (radius < 0) {
        const std::optional<int> chosen = chooseSearchRadius(pair, ghostMask, request.patchHalfSize, bandWorkers);
        if (!chosen) return std::nullopt;
        radius = *chosen;
    }
    const BandLayout layout{instant.rows, instant.cols, request.patchHalfSize, normaliseTileSize(request.tileSize)};
    return compensateExposure({pair, ghostMask.mask, layout, radius, bandWorkers}, progress);
}

GhostMask MergeEngine::buildGhostMask(const cv::Mat& instant, const cv::Mat& exposure, float ghostThreshold) {
    return ghosts.detect(instant, exposure, ghostThreshold);
}

std::optional<int> MergeEngine::chooseSearchRadius(const ExposurePair& pair, const GhostMask& ghostMask,
                                                   int patchHalfSize, int threads) {
    if (ghostMask.noGhost) return 2 * patchHalfSize + 1;
    try {
        return motionRange.estimate(pair, ghostMask.mask, patchHalfSize, threads).searchRadius;
    } catch (...) {
        reportError("Computing ghosting power",
                    "The automatic ghosting power option failed maybe because of a lack of memory, "
                    "try to disable this option next times");
        return std::nullopt;
    }
}

bool MergeEngine::finishLightImage(cv::Mat& lightImage) {
    lightImage = light.finish();
    return true;
}
