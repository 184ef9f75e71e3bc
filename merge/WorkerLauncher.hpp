#pragma once

#include "common/WorkerThread.hpp"

#include <opencv2/core.hpp>

class MergeEngine;

// Entry of a worker that gets an image: (bits per channel, image, engine).
using ImageWorkerFunction = void (*)(int bitsPerChannel, cv::Mat image, MergeEngine* engine);

// Starts a joinable thread running function; the caller joins it through handle. The
// image is shared with the thread, not copied, and released when function has returned.
// Returns whether the thread started; when it did not, nothing of the call is left behind.
bool startImageWorker(ImageWorkerFunction function, int bitsPerChannel, const cv::Mat& image,
                      MergeEngine* engine, pthread_t* handle);
