#include "extract/FrameFiler.hpp"

#include "common/SameFile.hpp"
#include "output/EncodedImage.hpp"

#include <system_error>
#include <utility>

namespace {

const char* const frameKeyword = "Tessaline_ImageFromVideo";

// Frames encoded ahead of their files: enough to keep exiftool fed while the reader
// waits for the decoder, few enough to keep memory small.
constexpr std::size_t framesAhead = 2;

} // namespace

FrameFiler::FrameFiler(FrameListFile& list, VideoTagSidecar& videoTags, std::string videoPath)
    : list(list), videoTags(videoTags), videoPath(std::move(videoPath)), queue(framesAhead) {
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

std::string FrameFiler::failure() const {
    const std::lock_guard<std::mutex> held(failureLock);
    return failureText;
}

void FrameFiler::fileFrames() {
    while (std::optional<EncodedFrame> frame = queue.take()) fileNow(*frame);
    completeLast();
}

void FrameFiler::fileNow(EncodedFrame& frame) {
    completeLast();
    if (failed()) return;
    if (sameFile(frame.path, videoPath)) return fail(frame.path, "it is the video itself");
    auto file = std::make_unique<ReplacingFile>(frame.path);
    if (!file->ready()) return fail(frame.path, file->failure());
    std::string reason;
    if (!writeEncodedImage(file->path(), frame.bytes, frame.frame, &reason)) return fail(frame.path, reason);
    lastPath = std::move(frame.path);
    lastFile = std::move(file);
    lastTags.emplace(videoTags.source(), lastFile->path(), frameKeyword, lastPath);
}

// Waits for the tags of the frame filed last, puts it in its place and lists it.
void FrameFiler::completeLast() {
    if (!lastFile) return;
    lastTags->finish();
    lastTags.reset();
    if (lastFile->commit())
        list.add(lastPath);
    else
        fail(lastPath, lastFile->failure());
    lastFile.reset();
    lastPath.clear();
}

void FrameFiler::fail(const std::string& path, const std::string& reason) {
    const std::lock_guard<std::mutex> held(failureLock);
    if (stopped.load()) return;
    failureText = "The frame '" + path + "' could not be written: " + reason + ".";
    stopped.store(true);
    queue.close();
}
