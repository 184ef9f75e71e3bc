#pragma once

#include <pthread.h>

#include <functional>

// What a worker thread runs, once.
using WorkerFunction = std::function<void()>;

// Starts a joinable POSIX thread that runs function and ends; the caller joins it through
// handle. Returns whether the thread started; when it did not (no thread or no memory for
// its state), nothing of the call is left behind and function has not run.
bool startWorker(WorkerFunction function, pthread_t* handle);
