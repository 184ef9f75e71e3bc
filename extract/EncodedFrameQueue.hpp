#pragma once

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// A frame read from the video and encoded in memory, waiting for its file.
struct EncodedFrame {
    std::string path;
    cv::Mat frame;                     // for the writers that write no bytes ahead
    std::vector<unsigned char> bytes;  // the file's content, or empty (see encodeImage)
};

// Hands encoded frames, in order, from the thread that reads and encodes them to the
// thread that files them. It holds at most capacity frames, so that reading runs only
// a little ahead of filing and memory does not grow with the frame window.
class EncodedFrameQueue {
public:
    explicit EncodedFrameQueue(std::size_t capacity) : capacity(capacity) {}

    // Waits while the queue is full. A frame put after close is dropped.
    void put(EncodedFrame frame);

    // The next frame, once there is one; nothing when the queue is closed and empty.
    std::optional<EncodedFrame> take();

    // No frame comes any more: take returns the rest, then nothing, and put drops.
    void close();

private:
    const std::size_t capacity;
    std::deque<EncodedFrame> frames;
    bool closed = false;
    std::mutex guard;
    std::condition_variable changed;
};
