#pragma once

#include <opencv2/core.hpp>

class MergeEngine;

// Light accumulation, run on the merge's accumulation worker (see WorkerLauncher.hpp).
// Both dispatch on bits per channel to the element type (8: 8-bit unsigned, 16: 16-bit
// unsigned, 32: 32-bit float) and do nothing for any other value.

// Starts the engine's light accumulator from the instant image, values as they are.
void accumulateInstantImage(int bitsPerChannel, cv::Mat instant, MergeEngine* engine);

// Adds a compensated exposure, every value raised to the power 2.2; nothing when the
// accumulator could not be made.
void accumulateExposure(int bitsPerChannel, cv::Mat compensated, MergeEngine* engine);

// Reports that the light image could not be made for lack of memory.
void reportLightMemoryFailure();
