#include "extract/FrameFiler.hpp"

#include "output/EncodedImage.hpp"

#include <system_error>
#include <utility>

namespace {

const char* const frameKeyword = "Tessaline_ImageFromVideo";

// Frames encoded ahead of their files: enough to keep exiftool fed while the reader
// waits for the decoder, few enough to keep memory small.
constexpr std::size_t framesAhead = 2;

} // namespace

FrameFiler::FrameFiler(const FrameListFile& list, VideoTagSidecar& videoTags)
    : list(list), videoTags(videoTags), queue(framesAhead) {
    try {
        worker = std::thread(&FrameFiler::fileFrames, this);
    } catch (const std::system_error&) {
        // worker stays empty: file() does the work itself.
    }
}

FrameFiler::~FrameFiler() { finish(); }

void FrameFiler::file(EncodedFrame frame) {
    if (worker.joinable())
        queue.put(std::move(frame));
    else
        fileNow(frame);
}

void FrameFiler::finish() {
    queue.close();
    if (worker.joinable()) worker.join();
    completeLast();
}

void FrameFiler::fileFrames() {
    while (std::optional<EncodedFrame> frame = queue.take()) fileNow(*frame);
    completeLast();
}

void FrameFiler::fileNow(EncodedFrame& frame) {
    completeLast();
    const bool written = writeEncodedImage(frame.path, frame.bytes, frame.frame);
    lastPath = std::move(frame.path);
    if (written) lastTags.emplace(videoTags.source(), lastPath, frameKeyword);
}

// Waits for the tags of the frame filed last and lists it, written or not.
void FrameFiler::completeLast() {
    if (lastPath.empty()) return;
    if (lastTags) lastTags->finish();
    lastTags.reset();
    list.add(lastPath);
    lastPath.clear();
}
