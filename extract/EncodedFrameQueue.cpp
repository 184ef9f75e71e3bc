#include "extract/EncodedFrameQueue.hpp"

#include <utility>

void EncodedFrameQueue::put(EncodedFrame frame) {
    std::unique_lock<std::mutex> lock(guard);
    changed.wait(lock, [&] { return closed || frames.size() < capacity; });
    if (closed) return;
    frames.push_back(std::move(frame));
    changed.notify_all();
}

std::optional<EncodedFrame> EncodedFrameQueue::take() {
    std::unique_lock<std::mutex> lock(guard);
    changed.wait(lock, [&] { return closed || !frames.empty(); });
    if (frames.empty()) return std::nullopt;
    EncodedFrame next = std::move(frames.front());
    frames.pop_front();
    changed.notify_all();
    return next;
}

void EncodedFrameQueue::close() {
    const std::lock_guard<std::mutex> lock(guard);
    closed = true;
    changed.notify_all();
}
