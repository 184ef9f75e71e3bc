#include "merge/AccumulationWorkers.hpp"

#include "common/ElementType.hpp"
#include "common/Failure.hpp"
#include "merge/MergeEngine.hpp"

#include <exception>

namespace tl {

void accumulateInstantImage(int bitsPerChannel, cv::Mat instant, MergeEngine* engine) {
    // The sum is the one large allocation of the accumulation. Without it there is no
    // light image, instead of the process dying on the worker thread.
    try {
        withElementType(depthOfBits(bitsPerChannel), [&]<typename T>() { engine->addInstantLight<T>(instant); });
    } catch (const std::exception&) {
        engine->lightAccumulator().clear();
        throw StepFailure(lightMemoryFailure());
    }
}

// An addition that fails (its slices' threads and their state need memory too) leaves a
// sum without the exposure: it is dropped, so that the run, finding no sum, ends.
void accumulateExposure(int bitsPerChannel, cv::Mat compensated, MergeEngine* engine) {
    try {
        withElementType(depthOfBits(bitsPerChannel), [&]<typename T>() { engine->addExposureLight<T>(compensated); });
    } catch (const std::exception&) {
        engine->lightAccumulator().clear();
        throw StepFailure(lightMemoryFailure());
    }
}

Failure lightMemoryFailure() { return {Failure::Code::lightImageMemory, "", "Not enough memory for the light image.\n"}; }

} // namespace tl
