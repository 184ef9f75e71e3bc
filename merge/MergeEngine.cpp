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

bool MergeEngine::compensateImage(int bitsPerChannel, int h, int g, float p, int tileSize, int T, int visitingPosition,
                                  cv::Mat& output, const cv::Mat& instant, const cv::Mat& exposure,
                                  const std::string& progressPath) {
    const int depth = depthOfBits(bitsPerChannel);
    if (depth < 0 || instant.depth() != depth) return false;
    // Too small for a patch and an interior: the exposure is accumulated as it is.
    if (instant.rows < 2 * h + 2 || instant.cols < 2 * h + 2) {
        output = exposure;
        return true;
    }
    // An exposure that cannot be compensated (for want of memory, on any of its threads)
    // fails as one whose automatic radius failed.
    try {
        return compensateOrThrow(h, g, p, tileSize, T, visitingPosition, output, instant, exposure, progressPath);
    } catch (const std::exception& failure) {
        reportError("parallelComputeLightImage", "The exposure at visiting position " +
                                                     std::to_string(visitingPosition) +
                                                     " could not be compensated: " + causeOf(failure) + "\n");
        return false;
    }
}

bool MergeEngine::compensateOrThrow(int h, int g, float p, int tileSize, int T, int visitingPosition, cv::Mat& output,
                                    const cv::Mat& instant, const cv::Mat& exposure, const std::string& progressPath) {
    ProgressFile progress(progressPath, visitingPosition);
    progress.begin();
    const GhostMask ghostMask = buildGhostMask(instant, exposure, p);
    const ExposurePair pair = pairFor(instant, exposure, ghostMask.noGhost);
    int radius = g;
    if (radius < 0) {
        const std::optional<int> chosen = chooseGhostingPower(pair, ghostMask, h, std::max(1, T));
        if (!chosen) return false;
        radius = *chosen;
    }
    const BandLayout layout{instant.rows, instant.cols, h, normaliseTileSize(tileSize)};
    output = compensateExposure({pair, ghostMask.mask, layout, radius, std::max(1, T)}, progress);
    return true;
}

GhostMask MergeEngine::buildGhostMask(const cv::Mat& instant, const cv::Mat& exposure, float p) {
    return ghosts.detect(instant, exposure, p);
}

std::optional<int> MergeEngine::chooseGhostingPower(const ExposurePair& pair, const GhostMask& ghostMask, int h,
                                                    int T) {
    if (ghostMask.noGhost) return 2 * h + 1;
    try {
        return estimateGhostingPower(pair, ghostMask.mask, h, T);
    } catch (...) {
        reportError("Computing ghosting power",
                    "The automatic ghosting power option failed maybe because of a lack of memory, "
                    "try to disable this option next times");
        return std::nullopt;
    }
}

int MergeEngine::estimateGhostingPower(const ExposurePair& pair, const cv::Mat& ghostMask, int h, int T) {
    return motionRange.estimateRadius(pair, ghostMask, h, T);
}

bool MergeEngine::finishLightImage(cv::Mat& lightImage) {
    lightImage = light.finish();
    return true;
}
