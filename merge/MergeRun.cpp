#include "merge/MergeEngine.hpp"

#include "align/ExposureAlignment.hpp"
#include "common/ExceptionCause.hpp"
#include "common/TaskGroup.hpp"
#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeObserver.hpp"
#include "merge/RunPlan.hpp"
#include "merge/UsableSamples.hpp"

#include <opencv2/imgproc.hpp>

#include <string>

namespace {

constexpr int patchHalfSizeOfRun = 8;

// The run's one accumulation worker. While it adds an exposure, the calling thread
// loads, checks and aligns the next one; it is joined before the next compensation and
// at the latest when the run leaves, whichever way it leaves. A worker that cannot be
// started does its addition at once instead: the sum comes out the same, only without
// the overlap.
class AccumulationWorker {
public:
    explicit AccumulationWorker(MergeEngine* engine) : engine(engine) {}

    void start(AccumulationFunction function, int bitsPerChannel, const cv::Mat& image) {
        worker.run([function, bitsPerChannel, image, engine = engine] { function(bitsPerChannel, image, engine); });
    }

    void join() { worker.wait(); }

private:
    MergeEngine* engine;
    TaskGroup worker;
};

// The log has always blamed a lack of memory; it says so where that is the cause, and
// gives the cause itself otherwise (a flat exposure has nothing to align by).
void reportAlignmentFailure(const std::string& cause) {
    const std::string advice = "try to disable this option next times.";
    if (!cause.empty() && cause != notEnoughMemory) {
        reportError("Aligning images", "The align option failed: " + cause + " Please " + advice);
        return;
    }
    std::string message = "The align option failed maybe because of a lack of memory, " + advice;
    if (!cause.empty()) message += "\n" + cause;
    reportError("Aligning images", message);
}

// The instant image in one channel, as the alignment compares it; empty when the
// conversion fails, and cause says why.
cv::Mat greyVersion(const cv::Mat& instant, std::string& cause) {
    if (instant.channels() == 1) return instant;
    try {
        cv::Mat grey;
        cv::cvtColor(instant, grey, cv::COLOR_BGR2GRAY);
        return grey;
    } catch (const std::exception& e) {
        cause = causeOf(e);
    }
    return cv::Mat();
}

// How the reports of a run name the image at an index of its source: a call that named
// its options names the file alone; a call by position keeps the index the front end
// knows, followed by the file.
class ImageNaming {
public:
    ImageNaming(const ImagesSequenceBase& source, bool byFileAlone) : source(source), byFileAlone(byFileAlone) {}

    // "at index 2 (a.jpg)", or "'a.jpg'".
    std::string atIndex(int index) const { return named("at index ", index); }
    // "number 2 (a.jpg)", or "'a.jpg'".
    std::string number(int index) const { return named("number ", index); }

private:
    std::string named(const std::string& prefix, int index) const {
        const std::string path = source.pathOf(index);
        if (byFileAlone && !path.empty()) return "'" + path + "'";
        return prefix + std::to_string(index) + (path.empty() ? "" : " (" + path + ")");
    }

    const ImagesSequenceBase& source;
    const bool byFileAlone;
};

// A failure that has been reported: the run ends with an empty result.
struct RunEnded {};

// Whether the exposure at sequence index can join the instant image; reports why not.
bool isMergeable(const cv::Mat& exposure, const cv::Mat& instant, int index, const ImageNaming& naming) {
    if (exposure.rows == 0 && exposure.cols == 0) {
        reportError("parallelComputeLightImage", "Error during accessing the image " + naming.atIndex(index) + "\n");
        return false;
    }
    if (exposure.rows != instant.rows || exposure.cols != instant.cols) {
        reportError("parallelComputeLightImage",
                    "The image " + naming.number(index) + " has not the same size as the instant image.\n");
        return false;
    }
    if (exposure.type() != instant.type()) {
        reportError("parallelComputeLightImage",
                    "The image " + naming.number(index) + " has not the same type as the instant image.\n");
        return false;
    }
    return true;
}

// The light image is as large again as the exposures; without memory for it the result
// stays empty.
void makeLightImage(MergeEngine& engine, cv::Mat& result) {
    try {
        engine.finishLightImage(result);
    } catch (const std::exception&) {
        result = cv::Mat();
        reportLightMemoryFailure();
    }
}

// The image at index of source, its unusable float samples counted as 0 (and reported,
// once for the image). Without memory to read it the run ends, after a report.
cv::Mat loadImage(ImagesSequenceBase& source, int index, const ImageNaming& naming) {
    cv::Mat loaded;
    try {
        loaded = source.getImage(index);
    } catch (const std::exception& failure) {
        reportError("main", "The image " + naming.number(index) + " could not be read: " + causeOf(failure));
        throw RunEnded{};
    }
    return withUsableSamplesReported(loaded, naming.number(index));
}

// The instant image, or an empty image after the report that ends the run.
cv::Mat loadInstantImage(ImagesSequenceBase& source, int instantIndex, const ImageNaming& naming) {
    cv::Mat instant;
    try {
        instant = loadImage(source, instantIndex, naming);
    } catch (const RunEnded&) {
        return cv::Mat();
    }
    if (instant.rows != 0 && instant.cols != 0) return instant;
    reportError("Main", "Error during accessing the image " + naming.atIndex(instantIndex) + "\n");
    return cv::Mat();
}

bool fusesDepthOf(int bits) { return bits == 8 || bits == 16 || bits == 32; }

} // namespace

bool MergeEngine::run(cv::Mat& result, ImagesSequenceBase& source, int instantIndex, int count,
                      const MergeSettings& settings, MergeObserver* observer) {
    result = cv::Mat();
    const ImageNaming naming(source, settings.namedOptions);
    const cv::Mat instant = loadInstantImage(source, instantIndex, naming);
    if (instant.empty()) return false;
    try {
        mergeAround(result, source, instant, {instantIndex, count, &settings, observer});
    } catch (const RunEnded&) {
        result = cv::Mat();
    } catch (const std::exception& failure) {
        // A failure no step expected, for want of memory say: the run ends, it does not abort.
        reportError("parallelComputeLightImage", "The merge could not go on: " + causeOf(failure));
        result = cv::Mat();
    }
    return true;
}

// The visits of the exposures around the instant image. Any exposure that cannot join the
// light image for a failure (not for a size or type of its own) ends the run: a light
// image without it would pass for the merge that was asked for.
void MergeEngine::mergeAround(cv::Mat& result, ImagesSequenceBase& source, const cv::Mat& instant,
                              const RunContext& run) {
    const MergeSettings& settings = *run.settings;
    const ImageNaming naming(source, settings.namedOptions);
    if (run.observer) run.observer->imageLoaded(run.instantIndex, instant);
    const int bits = bitsPerChannel(instant);
    const int radius = searchRadiusFor(instant.rows, instant.cols, settings.ghostingPower);
    std::string alignmentFailure;
    const cv::Mat greyInstant = settings.align ? greyVersion(instant, alignmentFailure) : instant;
    if (greyInstant.empty()) {
        reportAlignmentFailure(alignmentFailure);
        return;
    }
    const std::vector<int> order = visitingOrder(run.instantIndex, run.count);
    const int exposures = static_cast<int>(order.size()) - 1;
    AccumulationWorker accumulation(this);
    accumulation.start(accumulateInstantImage, bits, instant);
    for (int position = 1; position <= exposures; ++position) {
        if (source.isStopped()) break;
        const int index = order[position];
        cv::Mat exposure = loadImage(source, index, naming);
        if (run.observer && !exposure.empty()) run.observer->imageLoaded(index, exposure);
        if (isMergeable(exposure, instant, index, naming) && fusesDepthOf(bits)) {
            if (settings.align) {
                exposure = alignExposure(greyInstant, exposure, instant.channels(), alignmentFailure);
                if (exposure.empty()) {
                    reportAlignmentFailure(alignmentFailure);
                    return;
                }
            }
            // The compensation may start workers of its own: the previous addition must be
            // complete first. Without a sum to add to, nothing further can be merged.
            accumulation.join();
            if (light.empty()) return;
            const std::optional<CompensatedExposure> compensated =
                compensateImage({bits, patchHalfSizeOfRun, radius, settings.ghostThreshold, settings.tileSize,
                                 settings.threads, position, settings.progressPath},
                                instant, exposure);
            if (!compensated) return;
            accumulation.start(accumulateExposure, bits, compensated->image);
        }
        if (run.observer) run.observer->exposureVisited(position, exposures);
    }
    accumulation.join();
    if (fusesDepthOf(bits)) makeLightImage(*this, result);
}
