#pragma once

#include <opencv2/core.hpp>

#include <chrono>
#include <functional>

// Runs decode in a forked child process and hands its image back through a pipe, so
// that a decoder which crashes, aborts or hangs on a malformed file costs an empty
// image instead of the program. A child still busy after timeLimit is killed. The child
// writes nothing on this process's standard output (its own goes to standard error)
// and keeps none of its state: whatever decode changes stays in the child.
cv::Mat decodeInChildProcess(const std::function<cv::Mat()>& decode,
                             std::chrono::milliseconds timeLimit);
