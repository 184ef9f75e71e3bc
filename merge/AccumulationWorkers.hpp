#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

namespace tl {

class MergeEngine;

// Entry of the accumulation worker: (bits per channel, image, engine). The image is
// shared with the worker, not copied.
using AccumulationFunction = void (*)(int bitsPerChannel, cv::Mat image, MergeEngine* engine);

// The functions that the run's accumulation worker runs, on a thread of its own. Both
// dispatch on bits per channel to the element type (8: 8-bit unsigned, 16: 16-bit
// unsigned, 32: 32-bit float) and do nothing for any other value.

// Starts the engine's light sum from the instant image. Without memory for the sum, the
// sum stays empty and lightMemoryFailure() is thrown.
void accumulateInstantImage(int bitsPerChannel, cv::Mat instant, MergeEngine* engine);

// Adds a compensated exposure, every value raised to the power 2.2. When the addition
// fails the sum is dropped and lightMemoryFailure() is thrown: a light image without the
// exposure would pass for the merge that was asked for.
void accumulateExposure(int bitsPerChannel, cv::Mat compensated, MergeEngine* engine);

// The light image could not be made for lack of memory.
Failure lightMemoryFailure();

} // namespace tl
