#pragma once

#include "align/ExposurePair.hpp"
#include "align/MotionRange.hpp"
#include "fusion/ExposureCompensation.hpp"
#include "fusion/GhostDetector.hpp"
#include "fusion/LightAccumulator.hpp"
#include "merge/MergeSettings.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <string>

class ImagesSequenceBase;
class MergeObserver;

// How one aligned exposure is compensated.
struct CompensationRequest {
    int bitsPerChannel = 8;
    int patchHalfSize = 8;
    int searchRadius = -1;      // pixels; negative: chosen for the exposure
    float ghostThreshold = 10;  // percent
    int tileSize = 9;           // as given
    int bandWorkers = 1;
    int visitingPosition = 0;   // for the progress file and the report
    std::string progressPath;   // empty: no progress file
};

// The merge engine: one run over an image sequence. The run is a short list of steps,
// each a member here that hands its work to the part that owns the state it needs: the
// light accumulator (the sum of the run), the ghost detector (the threshold table of the
// run) and the motion-range estimator (the corner mask of the run). Everything about one
// exposure is built for it and passed on; nothing of it stays in the engine.
class MergeEngine {
public:
    MergeEngine();
    MergeEngine(const MergeEngine&) = delete;
    MergeEngine& operator=(const MergeEngine&) = delete;

    // One merge of the count images of source around the one at instantIndex. Fills result
    // with the light image; it stays empty when the run ended early for a failure, which
    // has been reported: a failed alignment, an exposure that could not be compensated,
    // no memory for the light image or for an image. Returns false when the instant image
    // cannot be read; the caller then ends the process with exit status 1. An observer,
    // when given, follows the run.
    bool run(cv::Mat& result, ImagesSequenceBase& source, int instantIndex, int count, const MergeSettings& settings,
             MergeObserver* observer = nullptr);

    // Ghost compensation of one aligned exposure as the request says. Returns the
    // compensated exposure to accumulate; nothing for bits other than 8, 16 and 32, or,
    // after a report, when the automatic radius or the compensation itself failed.
    std::optional<CompensatedExposure> compensateImage(const CompensationRequest& request, const cv::Mat& instant,
                                                       const cv::Mat& exposure);

    // The ghost mask of exposure against instant for the ghost threshold (percent).
    GhostMask buildGhostMask(const cv::Mat& instant, const cv::Mat& exposure, float ghostThreshold);
    // The search radius of an exposure whose radius is automatic, for patches of the given
    // half-size: 2 halfSize + 1 without ghosts, otherwise the motion range, estimated on
    // the given number of threads; nothing (after a report) when the estimate failed.
    std::optional<int> chooseSearchRadius(const ExposurePair& pair, const GhostMask& ghosts, int patchHalfSize,
                                          int threads);

    // Light accumulation; T is the element type of the images.
    template <typename T> void addInstantLight(const cv::Mat& instant) { light.start<T>(instant); }
    template <typename T> void addExposureLight(const cv::Mat& compensated) { light.add<T>(compensated); }
    bool finishLightImage(cv::Mat& lightImage);

    const LightAccumulator& lightAccumulator() const { return light; }
    LightAccumulator& lightAccumulator() { return light; }

private:
    // What the visits of one run share besides the instant image.
    struct RunContext {
        int instantIndex;
        int count;
        const MergeSettings* settings;
        MergeObserver* observer;
    };
    void mergeAround(cv::Mat& result, ImagesSequenceBase& source, const cv::Mat& instant, const RunContext& run);
    std::optional<CompensatedExposure> compensateOrThrow(const CompensationRequest& request, const cv::Mat& instant,
                                                         const cv::Mat& exposure);

    LightAccumulator light;
    GhostDetector ghosts;
    MotionRangeEstimator motionRange;
};
