#pragma once

#include <opencv2/core.hpp>

#include <condition_variable>
#include <cstdint>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// A frame read from the video and encoded in memory, waiting for its file.
struct EncodedFrame {
    std::string path;
    cv::Mat frame;                     // for the writers that write no bytes ahead
    std::vector<unsigned char> bytes;  // the file's content, or empty (see encodeImage)
};

// The memory a frame holds: its bytes, and its image when it has one.
std::size_t heldBytes(const EncodedFrame& frame);

// Hands encoded frames, in order, from the thread that reads and encodes them to the
// thread that files them. It holds at most capacity frames, and once it holds one, no
// more than byteBudget bytes of them, so that reading runs only a little ahead of filing
// and memory does not grow with the frame window.
class EncodedFrameQueue {
public:
    explicit EncodedFrameQueue(std::size_t capacity, std::size_t byteBudget = SIZE_MAX)
        : capacity(capacity), byteBudget(byteBudget) {}

    // Waits while the queue is full. A frame put after close is dropped.
    void put(EncodedFrame frame);

    // The next frame, once there is one; nothing when the queue is closed and empty.
    std::optional<EncodedFrame> take();

    // No frame comes any more: take returns the rest, then nothing, and put drops.
    void close();

private:
    bool hasRoomFor(const EncodedFrame& frame) const;

    const std::size_t capacity;
    const std::size_t byteBudget;
    std::deque<EncodedFrame> frames;
    std::size_t bytes = 0;  // held by frames
    bool closed = false;
    std::mutex guard;
    std::condition_variable changed;
};

} // namespace tl
