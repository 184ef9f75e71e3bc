#include "merge/MergeEngine.hpp"

#include "align/ExposureAlignment.hpp"
#include "common/ExceptionCause.hpp"
#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeObserver.hpp"
#include "merge/RunPlan.hpp"
#include "merge/UsableSamples.hpp"
#include "merge/WorkerLauncher.hpp"

#include <opencv2/imgproc.hpp>

#include <string>

namespace {

constexpr int patchHalfSizeOfRun = 8;

// The run's one accumulation worker. While it adds an exposure, the calling thread
// loads, checks and aligns the next one; it is joined before the next compensation and
// at the latest when the run leaves, whichever way it leaves.
class AccumulationWorker {
public:
    explicit AccumulationWorker(MergeEngine* engine) : engine(engine) {}
    ~AccumulationWorker() { join(); }
    AccumulationWorker(const AccumulationWorker&) = delete;
    AccumulationWorker& operator=(const AccumulationWorker&) = delete;

    // A worker that cannot be started does its addition here instead: the sum comes
    // out the same, only without the overlap.
    void start(ImageWorkerFunction function, int bitsPerChannel, const cv::Mat& image) {
        running = startImageWorker(function, bitsPerChannel, image, engine, &handle);
        if (!running) function(bitsPerChannel, image, engine);
    }

    void join() {
        if (!running) return;
        running = false;
        if (pthread_join(handle, nullptr) != 0) reportError("main", "ERROR during pthread_join()\n");
    }

private:
    MergeEngine* engine;
    pthread_t handle{};
    bool running = false;
};

// The first line is what the log has always said; the cause, when known, follows it.
void reportAlignmentFailure(const std::string& cause) {
    std::string message = "The align option failed maybe because of a lack of memory, "
                          "try to disable this option next times.";
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

// Whether the exposure at sequence index can join the instant image; reports why not.
bool isMergeable(const cv::Mat& exposure, const cv::Mat& instant, int index) {
    const std::string number = std::to_string(index);
    if (exposure.rows == 0 && exposure.cols == 0) {
        reportError("parallelComputeLightImage",
                    "Error during accessing the image at index " + number + "\n");
        return false;
    }
    if (exposure.rows != instant.rows || exposure.cols != instant.cols) {
        reportError("parallelComputeLightImage",
                    "The image number " + number + " has not the same size as the instant image.\n");
        return false;
    }
    if (exposure.type() != instant.type()) {
        reportError("parallelComputeLightImage",
                    "The image number " + number + " has not the same type as the instant image.\n");
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
// once for the image).
cv::Mat loadImage(ImagesSequenceBase& source, int index) {
    std::size_t replaced = 0;
    cv::Mat image = withUsableSamples(source.getImage(index), replaced);
    if (replaced > 0)
        reportWarning("parallelComputeLightImage", "The image number " + std::to_string(index) + " holds " +
                                                     std::to_string(replaced) +
                                                     " samples that are not finite or are negative; they count "
                                                     "as 0.\n");
    return image;
}

// The instant image, or an empty image after the report that ends the run.
cv::Mat loadInstantImage(ImagesSequenceBase& source, int instantIndex) {
    cv::Mat instant = loadImage(source, instantIndex);
    if (instant.rows != 0 && instant.cols != 0) return instant;
    reportError("Main", "Error during accessing the image at index " + std::to_string(instantIndex) + "\n");
    return cv::Mat();
}

} // namespace

bool MergeEngine::run(cv::Mat& result, ImagesSequenceBase& source, int instantIndex, int count,
                      const MergeSettings& settings, MergeObserver* observer) {
    result = cv::Mat();
    const cv::Mat instant = loadInstantImage(source, instantIndex);
    if (instant.empty()) return false;
    if (observer) observer->imageLoaded(instantIndex, instant);
    const int bits = bitsPerChannel(instant);
    const int radius = searchRadiusFor(instant.rows, instant.cols, settings.ghostingPower);
    std::string alignmentFailure;
    const cv::Mat greyInstant = settings.align ? greyVersion(instant, alignmentFailure) : instant;
    if (greyInstant.empty()) {
        reportAlignmentFailure(alignmentFailure);
        return true;
    }
    const std::vector<int> order = visitingOrder(instantIndex, count);

    const int exposures = static_cast<int>(order.size()) - 1;
    const auto visited = [&](int position) {
        if (observer) observer->exposureVisited(position, exposures);
    };
    AccumulationWorker accumulation(this);
    accumulation.start(accumulateInstantImage, bits, instant);
    for (int position = 1; position <= exposures; ++position) {
        if (source.isStopped()) break;
        const int index = order[position];
        cv::Mat exposure = loadImage(source, index);
        if (observer && !exposure.empty()) observer->imageLoaded(index, exposure);
        if (!isMergeable(exposure, instant, index)) {
            visited(position);
            continue;
        }
        if (settings.align) {
            exposure = alignExposure(greyInstant, exposure, instant.channels(), alignmentFailure);
            if (exposure.empty()) {
                reportAlignmentFailure(alignmentFailure);
                return true;
            }
        }
        // The compensation may start workers of its own: the previous addition must be
        // complete first.
        accumulation.join();
        cv::Mat compensated;
        if (compensateImage(bits, patchHalfSizeOfRun, radius, settings.ghostThreshold, settings.tileSize,
                            settings.threads, position, compensated, instant, exposure, settings.progressPath))
            accumulation.start(accumulateExposure, bits, compensated);
        visited(position);
    }
    accumulation.join();
    if (bits == 8 || bits == 16 || bits == 32) makeLightImage(*this, result);
    return true;
}
