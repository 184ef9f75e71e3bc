#include "extract/EncodedFrameQueue.hpp"

#include <utility>

namespace tl {

std::size_t heldBytes(const EncodedFrame& frame) { return frame.bytes.size() + frame.frame.total() * frame.frame.elemSize(); }

bool EncodedFrameQueue::hasRoomFor(const EncodedFrame& frame) const {
    return frames.empty() || (frames.size() < capacity && bytes + heldBytes(frame) <= byteBudget);
}

void EncodedFrameQueue::put(EncodedFrame frame) {
    std::unique_lock<std::mutex> lock(guard);
    changed.wait(lock, [&] { return closed || hasRoomFor(frame); });
    if (closed) return;
    bytes += heldBytes(frame);
    frames.push_back(std::move(frame));
    changed.notify_all();
}

std::optional<EncodedFrame> EncodedFrameQueue::take() {
    std::unique_lock<std::mutex> lock(guard);
    changed.wait(lock, [&] { return closed || !frames.empty(); });
    if (frames.empty()) return std::nullopt;
    EncodedFrame next = std::move(frames.front());
    frames.pop_front();
    bytes -= heldBytes(next);
    changed.notify_all();
    return next;
}

void EncodedFrameQueue::close() {
    const std::lock_guard<std::mutex> lock(guard);
    closed = true;
    changed.notify_all();
}

} // namespace tl
