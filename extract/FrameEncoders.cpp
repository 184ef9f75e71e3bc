#include "extract/FrameEncoders.hpp"

#include "common/ExceptionCause.hpp"
#include "output/EncodedImage.hpp"

#include <algorithm>
#include <exception>
#include <utility>

namespace tl {

FrameEncoders::FrameEncoders(FrameFiler& filer) : filer(filer) {
    // The threads that started do the work; with none, encode does it.
    while (encoderCount < static_cast<std::size_t>(coreCount()) && encoders.start([this] { work(); }))
        ++encoderCount;
    capacity = std::max<std::size_t>(1, encoderCount);
}

FrameEncoders::~FrameEncoders() { finish(); }

void FrameEncoders::encode(std::string path, cv::Mat frame) {
    std::unique_lock<std::mutex> lock(guard);
    Job job{handedOver++, std::move(path), std::move(frame)};
    if (encoderCount == 0) {
        lock.unlock();
        return encodeAndDeliver(job);
    }
    changed.wait(lock, [&] { return closed || jobs.size() < capacity; });
    if (closed) return;
    jobs.push_back(std::move(job));
    changed.notify_all();
}

void FrameEncoders::finish() {
    {
        const std::lock_guard<std::mutex> lock(guard);
        closed = true;
        changed.notify_all();
    }
    encoders.wait();
}

std::string FrameEncoders::failure() const {
    return firstFailure.told("Not enough memory to encode the frames.");
}

void FrameEncoders::work() {
    for (;;) {
        std::unique_lock<std::mutex> lock(guard);
        changed.wait(lock, [&] { return !jobs.empty() || closed; });
        if (jobs.empty()) return;
        Job job = std::move(jobs.front());
        jobs.pop_front();
        changed.notify_all();
        lock.unlock();
        encodeAndDeliver(job);
    }
}

void FrameEncoders::encodeAndDeliver(Job& job) {
    try {
        std::vector<unsigned char> bytes = encodeImage(job.path, job.frame);
        // The image is kept only for the writers that write no bytes ahead.
        if (!bytes.empty()) job.frame.release();
        deliver(job.sequence, {job.path, std::move(job.frame), std::move(bytes)});
    } catch (const std::exception& e) {
        firstFailure.record([&] { return "The frame '" + job.path + "' could not be encoded: " + causeOf(e); });
        // The frames after it would wait for it for ever: none is taken any more.
        const std::lock_guard<std::mutex> lock(guard);
        jobs.clear();
        closed = true;
        changed.notify_all();
    }
}

// Frames reach the filer in the order they were read: a frame encoded early waits here for
// those before it, and whoever delivers the next one in order delivers the waiting ones after it.
void FrameEncoders::deliver(std::size_t sequence, EncodedFrame frame) {
    const std::lock_guard<std::mutex> lock(deliveryGuard);
    encoded.emplace(sequence, std::move(frame));
    for (auto next = encoded.find(delivered); next != encoded.end(); next = encoded.find(delivered)) {
        EncodedFrame inOrder = std::move(next->second);
        encoded.erase(next);
        ++delivered;
        filer.file(std::move(inOrder));
    }
}

} // namespace tl
