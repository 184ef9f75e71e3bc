#include "merge/MergeEngine.hpp"

#include "align/ExposureAlignment.hpp"
#include "common/ExceptionCause.hpp"
#include "common/TaskGroup.hpp"
#include "common/Failure.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/AccumulationWorkers.hpp"
#include "merge/MergeObserver.hpp"
#include "merge/RunPlan.hpp"
#include "merge/UsableSamples.hpp"

#include <opencv2/imgproc.hpp>

#include <new>
#include <optional>
#include <string>

using namespace tl;

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

// The instant image in one channel, as the alignment compares it.
cv::Mat greyVersion(const cv::Mat& instant) {
    if (instant.channels() == 1) return instant;
    cv::Mat grey;
    try {
        cv::cvtColor(instant, grey, cv::COLOR_BGR2GRAY);
    } catch (const cv::Exception& e) {
        throw StepFailure(alignmentFailure(causeOf(e)));
    } catch (const std::bad_alloc& e) {
        throw StepFailure(alignmentFailure(causeOf(e)));
    }
    return grey;
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
    std::string pathOf(int index) const { return source.pathOf(index); }

private:
    std::string named(const std::string& prefix, int index) const {
        const std::string path = source.pathOf(index);
        if (byFileAlone && !path.empty()) return "'" + path + "'";
        return prefix + std::to_string(index) + (path.empty() ? "" : " (" + path + ")");
    }

    const ImagesSequenceBase& source;
    const bool byFileAlone;
};

// Why the exposure at sequence index cannot join the instant image, if it cannot.
std::optional<Failure> mismatch(const cv::Mat& exposure, const cv::Mat& instant, int index,
                                const ImageNaming& naming) {
    const auto leftOut = [&](const std::string& detail) {
        return Failure{Failure::Code::exposureLeftOut, naming.pathOf(index), detail};
    };
    if (exposure.rows == 0 && exposure.cols == 0)
        return leftOut("Error during accessing the image " + naming.atIndex(index) + "\n");
    if (exposure.rows != instant.rows || exposure.cols != instant.cols)
        return leftOut("The image " + naming.number(index) + " has not the same size as the instant image.\n");
    if (exposure.type() != instant.type())
        return leftOut("The image " + naming.number(index) + " has not the same type as the instant image.\n");
    return std::nullopt;
}

// The image at index of source, its unusable float samples counted as 0 (the observer
// hears of them, once for the image). A file that cannot be opened gives an empty image
// (the observer hears of it); an image that cannot be read for an error of the reader (no
// memory, say) ends the run with the given code.
cv::Mat loadImage(ImagesSequenceBase& source, int index, const ImageNaming& naming, MergeObserver* observer,
                  Failure::Code unreadable) {
    const PassedOver passedOver = [observer](const Failure& fault) {
        if (observer) observer->passedOver(fault);
    };
    cv::Mat loaded;
    try {
        loaded = source.getImage(index);
    } catch (const StepFailure& unopened) {
        passedOver(unopened.failure());
    } catch (const std::exception& failure) {
        throw StepFailure({unreadable, naming.pathOf(index),
                           "The image " + naming.number(index) + " could not be read: " + causeOf(failure)});
    }
    return withUsableSamplesPassedOver(loaded, naming.pathOf(index), naming.number(index), passedOver);
}

// The instant image; one that cannot be read ends the run.
cv::Mat loadInstantImage(ImagesSequenceBase& source, int instantIndex, const ImageNaming& naming,
                         MergeObserver* observer) {
    const cv::Mat instant =
        loadImage(source, instantIndex, naming, observer, Failure::Code::instantImageUnreadable);
    if (instant.rows != 0 && instant.cols != 0) return instant;
    throw StepFailure({Failure::Code::instantImageMissing, naming.pathOf(instantIndex),
                       "Error during accessing the image " + naming.atIndex(instantIndex) + "\n"});
}

bool fusesDepthOf(int bits) { return bits == 8 || bits == 16 || bits == 32; }

} // namespace

cv::Mat MergeEngine::run(ImagesSequenceBase& source, int instantIndex, int count, const MergeSettings& settings,
                         MergeObserver* observer) {
    const ImageNaming naming(source, settings.namedOptions);
    const cv::Mat instant = loadInstantImage(source, instantIndex, naming, observer);
    return mergeAround(source, instant, {instantIndex, count, &settings, observer});
}

// The visits of the exposures around the instant image. Any exposure that cannot join the
// light image for a failure (not for a size or type of its own) ends the run: a light
// image without it would pass for the merge that was asked for.
cv::Mat MergeEngine::mergeAround(ImagesSequenceBase& source, const cv::Mat& instant, const RunContext& run) {
    const MergeSettings& settings = *run.settings;
    const ImageNaming naming(source, settings.namedOptions);
    if (run.observer) run.observer->imageLoaded(run.instantIndex, instant);
    const int bits = bitsPerChannel(instant);
    const int radius = searchRadiusFor(instant.rows, instant.cols, settings.ghostingPower);
    const cv::Mat greyInstant = settings.align ? greyVersion(instant) : instant;
    const std::vector<int> order = visitingOrder(run.instantIndex, run.count);
    const int exposures = static_cast<int>(order.size()) - 1;
    AccumulationWorker accumulation(this);
    accumulation.start(accumulateInstantImage, bits, instant);
    for (int position = 1; position <= exposures; ++position) {
        if (source.isStopped()) break;
        const int index = order[position];
        cv::Mat exposure = loadImage(source, index, naming, run.observer, Failure::Code::imageUnreadable);
        if (run.observer && !exposure.empty()) run.observer->imageLoaded(index, exposure);
        const std::optional<Failure> leftOut = mismatch(exposure, instant, index, naming);
        if (leftOut && run.observer) run.observer->passedOver(*leftOut);
        if (!leftOut && fusesDepthOf(bits)) {
            if (settings.align) exposure = alignExposure(greyInstant, exposure, instant.channels());
            // The compensation may start workers of its own: the previous addition must be
            // complete first.
            accumulation.join();
            const std::optional<CompensatedExposure> compensated =
                compensateImage({bits, patchHalfSizeOfRun, radius, settings.ghostThreshold, settings.tileSize,
                                 settings.threads, position, settings.progressPath},
                                instant, exposure);
            if (compensated) accumulation.start(accumulateExposure, bits, compensated->image);
        }
        if (run.observer) run.observer->exposureVisited(position, exposures);
    }
    accumulation.join();
    return fusesDepthOf(bits) ? finishLightImage() : cv::Mat();
}
