#pragma once

#include "common/TaskGroup.hpp"
#include "extract/EncodedFrameQueue.hpp"
#include "extract/FirstFailure.hpp"
#include "extract/FrameFiler.hpp"

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tl {

// Encodes the frames of an extraction on threads of their own, one per core, while the
// reader decodes the next ones, and hands them to the filer in the order they were read.
// Only a few frames wait to be encoded, so that memory does not grow with the window. When
// no thread can be started, the reader encodes each frame itself.
//
// A frame that cannot be encoded (memory ran out) stops the encoding: it and the frames
// after it never reach the filer, and failure() says what happened.
class FrameEncoders {
public:
    explicit FrameEncoders(FrameFiler& filer);
    ~FrameEncoders();
    FrameEncoders(const FrameEncoders&) = delete;
    FrameEncoders& operator=(const FrameEncoders&) = delete;

    // Hands over the next frame read, to be written at path; waits while the encoders are
    // behind.
    void encode(std::string path, cv::Mat frame);

    // Waits until every frame handed over is encoded and with the filer.
    void finish();

    bool failed() const { return firstFailure.failed(); }
    std::string failure() const;

private:
    struct Job {
        std::size_t sequence;
        std::string path;
        cv::Mat frame;
    };

    void work();
    void encodeAndDeliver(Job& job);
    void deliver(std::size_t sequence, EncodedFrame frame);

    FrameFiler& filer;
    mutable std::mutex guard;
    std::condition_variable changed;
    std::deque<Job> jobs;
    std::size_t capacity = 1;
    std::size_t handedOver = 0;
    bool closed = false;
    FirstFailure firstFailure;

    std::mutex deliveryGuard;
    std::map<std::size_t, EncodedFrame> encoded;  // waiting for the frames before them
    std::size_t delivered = 0;

    std::size_t encoderCount = 0;
    TaskGroup encoders;  // the last member: its threads end before the state they use goes
};

} // namespace tl
