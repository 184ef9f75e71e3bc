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

namespace tl {

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

    // One merge of the count images of source around the one at instantIndex. Returns the
    // light image; it is empty when the images are of a depth that is not merged. A fault
    // that ends the run (the instant image or another image cannot be read, a failed
    // alignment, an exposure that could not be compensated, no memory for the light image)
    // is thrown as a StepFailure, once the addition running then has ended; the faults the
    // run goes past (an exposure left out, unusable samples) go to the observer. An
    // observer, when given, follows the run.
    cv::Mat run(ImagesSequenceBase& source, int instantIndex, int count, const MergeSettings& settings,
                MergeObserver* observer = nullptr);

    // Ghost compensation of one aligned exposure as the request says. Returns the
    // compensated exposure to accumulate; nothing for bits other than 8, 16 and 32. When
    // the automatic radius or the compensation itself fails it throws a StepFailure.
    std::optional<CompensatedExposure> compensateImage(const CompensationRequest& request, const cv::Mat& instant,
                                                       const cv::Mat& exposure);

    // The ghost mask of exposure against instant for the ghost threshold (percent).
    GhostMask buildGhostMask(const cv::Mat& instant, const cv::Mat& exposure, float ghostThreshold);
    // The search radius of an exposure whose radius is automatic, for patches of the given
    // half-size: 2 halfSize + 1 without ghosts, otherwise the motion range, estimated on
    // the given number of threads. When the estimate fails it throws a StepFailure.
    int chooseSearchRadius(const ExposurePair& pair, const GhostMask& ghosts, int patchHalfSize,
                                          int threads);

    // Light accumulation; T is the element type of the images.
    template <typename T> void addInstantLight(const cv::Mat& instant) { light.start<T>(instant); }
    template <typename T> void addExposureLight(const cv::Mat& compensated) { light.add<T>(compensated); }
    // The light image of the sum; a lack of memory for it is thrown as a StepFailure.
    cv::Mat finishLightImage();

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
    cv::Mat mergeAround(ImagesSequenceBase& source, const cv::Mat& instant, const RunContext& run);

    LightAccumulator light;
    GhostDetector ghosts;
    MotionRangeEstimator motionRange;
};

} // namespace tl
