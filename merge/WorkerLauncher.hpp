#pragma once

#include <opencv2/core.hpp>

#include <pthread.h>

class MergeEngine;

// Entry of a worker that gets an image: (bits per channel, image, engine).
using ImageWorkerFunction = void (*)(int bitsPerChannel, cv::Mat image, MergeEngine* engine);
// Entry of a worker that gets a number: (value, engine).
using WorkerFunction = void (*)(int value, MergeEngine* engine);

// Start a joinable thread running function; the caller joins it through handle.
// The image is shared with the thread, not copied. Return whether the thread started;
// when it did not, nothing of the call is left behind.
bool startImageWorker(ImageWorkerFunction function, int bitsPerChannel, const cv::Mat& image,
                      MergeEngine* engine, pthread_t* handle);
bool startWorker(WorkerFunction function, int value, MergeEngine* engine, pthread_t* handle);
