#include "extract/FrameFiler.hpp"

#include "common/ExceptionCause.hpp"
#include "common/SameFile.hpp"
#include "output/EncodedImage.hpp"

#include <utility>

namespace tl {

namespace {

// Frames encoded ahead of their files: enough that reading and encoding go on while
// exiftool starts and tags the sample (or tags a frame), few enough to keep memory small.
constexpr std::size_t framesAhead = 1024;
constexpr std::size_t bytesAhead = 48u << 20;

std::string withoutFinalStop(std::string sentence) {
    if (!sentence.empty() && sentence.back() == '.') sentence.pop_back();
    return sentence;
}

} // namespace

FrameFiler::FrameFiler(FrameListFile& list, FrameTags& videoTags, std::string videoPath)
    : list(list), videoTags(videoTags), videoPath(std::move(videoPath)), queue(framesAhead, bytesAhead) {
    // Without a worker, file() does the work itself.
    workerRunning = worker.start([this] { fileFrames(); });
}

FrameFiler::~FrameFiler() { finish(); }

void FrameFiler::file(EncodedFrame frame) {
    if (workerRunning)
        queue.put(std::move(frame));
    else
        fileNow(frame);
}

void FrameFiler::finish() {
    queue.close();
    worker.wait();
    completeLast();
}

std::string FrameFiler::failure() const { return firstFailure.told("Not enough memory to write the frames."); }

void FrameFiler::fileFrames() {
    while (std::optional<EncodedFrame> frame = queue.take()) {
        try {
            fileNow(*frame);
        } catch (const std::exception& e) {
            // Memory ran out, say: this frame and the rest are not filed.
            failFrom(frame->path, e);
        }
    }
    try {
        completeLast();
    } catch (const std::exception& e) {
        failFrom(lastPath, e);
    }
}

void FrameFiler::fileNow(EncodedFrame& frame) {
    completeLast();
    if (failed()) return;
    if (sameFile(frame.path, videoPath)) return fail(frame.path, "it is the video itself");
    auto file = std::make_unique<ReplacingFile>(frame.path);
    if (!file->ready()) return fail(frame.path, file->failure());
    const std::optional<std::vector<unsigned char>> tagged = videoTags.placeInto(frame.bytes);
    try {
        writeEncodedImage(file->path(), tagged ? *tagged : frame.bytes, frame.frame);
    } catch (const StepFailure& unwritten) {
        return fail(frame.path, unwritten.failure().detail);
    }
    lastPath = std::move(frame.path);
    lastFile = std::move(file);
    if (!tagged) lastTags = videoTags.beginCopy(lastFile->path());
    // A frame with its tags in place is finished: no need to wait for the next.
    if (tagged) completeLast();
}

// Waits for the tags of the frame filed last, puts it in its place and lists it.
void FrameFiler::completeLast() {
    if (!lastFile) return;
    const TagCopyOutcome tags = lastTags ? lastTags->finish() : TagCopyOutcome{};
    lastTags.reset();
    if (lastFile->commit()) {
        videoTags.record(lastPath, tags);
        list.add(lastPath);
    } else {
        fail(lastPath, lastFile->failure());
    }
    lastFile.reset();
    lastPath.clear();
}

void FrameFiler::fail(const std::string& path, const std::string& reason) noexcept {
    firstFailure.record([&] { return "The frame '" + path + "' could not be written: " + reason + "."; });
    queue.close();
}

void FrameFiler::failFrom(const std::string& path, const std::exception& cause) noexcept {
    firstFailure.record(
        [&] { return "The frame '" + path + "' could not be written: " + withoutFinalStop(causeOf(cause)) + "."; });
    queue.close();
}

} // namespace tl
