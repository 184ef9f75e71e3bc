#include "extract/FrameExtraction.hpp"

#include "common/Failure.hpp"
#include "common/PathRefusal.hpp"
#include "common/SameFile.hpp"
#include "diag/Log.hpp"
#include "extract/FrameEncoders.hpp"
#include "extract/FrameFileNames.hpp"
#include "extract/FrameFiler.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/FrameTags.hpp"
#include "extract/FrameWindow.hpp"
#include "extract/MemoryHeadroom.hpp"
#include "extract/VideoFrameSource.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

namespace tl {

namespace {

// What a video decoder needs beside its frames, at the least: a few frame buffers and a
// thread's stack and heap.
constexpr std::size_t decoderHeadroom = 64u << 20;

[[noreturn]] void fail(Failure::Code code, const std::string& path, const std::string& sentence) {
    throw StepFailure({code, path, sentence});
}

// The window of the call; a video or a call that gives no usable one ends the run.
FrameWindow windowOf(const ExtractArguments& a, const VideoFrameSource& video) {
    const std::int64_t frameCount = video.frameCount();
    if (frameCount < 1) fail(Failure::Code::videoUnusable, a.videoPath, "The video '" + a.videoPath + "' reports no frames.");
    if (a.denominator == 0)
        fail(Failure::Code::videoUnusable, a.videoPath,
             "The frame window of the video '" + a.videoPath + "' has a denominator of 0.");
    return computeFrameWindow(frameCount, a.startNumerator, a.endNumerator, a.denominator);
}

// A video that ends before the window does: the list file counts the frames it names, and
// the run ends, with the lack of memory that cut it short when that is the cause.
[[noreturn]] void failBrokenOff(const ExtractArguments& a, FrameListFile& list, std::int64_t read,
                                std::int64_t planned, std::size_t frameBytes) {
    list.countListedFrames();
    const std::string lost = "only " + std::to_string(read) + " of the " + std::to_string(planned) +
                             " frames of the window could be read; the list file counts those " +
                             std::to_string(read) + ".";
    if (memoryRunsShort(decoderHeadroom + 2 * frameBytes))
        fail(Failure::Code::videoBrokenOff, a.videoPath,
             "Not enough memory to decode the frames of the video '" + a.videoPath + "': " + lost);
    fail(Failure::Code::videoBrokenOff, a.videoPath, "The video '" + a.videoPath + "' broke off: " + lost);
}

// The frames read from the video, encoded on the run's threads and filed in order.
struct FramesRead {
    std::int64_t count = 0;
    std::size_t frameBytes = 0;  // of the last frame read
};

FramesRead readFrames(VideoFrameSource& video, const FrameWindow& window, const FrameFileNames& names,
                      FrameFiler& filer, FrameEncoders& encoders) {
    FramesRead read;
    while (read.count < window.count && !filer.failed() && !encoders.failed()) {
        cv::Mat frame = video.read();
        if (frame.empty()) break;
        read.frameBytes = frame.total() * frame.elemSize();
        encoders.encode(names.name(++read.count), std::move(frame));
    }
    encoders.finish();
    filer.finish();
    return read;
}

// Reads and writes every frame of the window; the frame that was not written, or the end
// of a video that broke off, ends the run after the faults of the tagging are passed on.
void writeFrames(const ExtractArguments& a, VideoFrameSource& video, const FrameWindow& window,
                 const PassedOver& passedOver) {
    FrameListFile list(a.listPath);
    list.start(window.count);
    const FrameFileNames names(a.outputFolder, a.baseName, a.extension, window.count);
    // exiftool tags the sample frame (or reads the video's tags) while the capture seeks.
    FrameTags tags(a.videoPath, names.name(1), video.frameSize());
    video.seekTo(window.first);
    FrameFiler filer(list, tags, a.videoPath);
    FrameEncoders encoders(filer);
    const FramesRead read = readFrames(video, window, names, filer, encoders);
    for (const Failure& fault : tags.faults()) passedOver(fault);
    for (const auto& [failed, failure] : {std::pair{encoders.failed(), encoders.failure()},
                                          std::pair{filer.failed(), filer.failure()}})
        if (failed) fail(Failure::Code::frameUnwritable, "", failure);
    if (read.count != window.count) failBrokenOff(a, list, read.count, window.count, read.frameBytes);
}

// The list file naming the video or the log, or being something other than a regular file
// or a file this user may not write (or its folder closed to new files): refused before
// anything is written.
void refuseListFile(const ExtractArguments& a) {
    std::string refusal = replacementRefusal(a.listPath, {a.videoPath});
    if (refusal.empty() && !a.listPath.empty() && samePath(a.listPath, logPath())) refusal = "it is the log file";
    if (!refusal.empty())
        fail(Failure::Code::frameUnwritable, a.listPath,
             "The list file '" + a.listPath + "' cannot be written: " + refusal + ". Nothing was written.");
}

// A frame file of the window that is there already and that this user may not write: kept,
// as cp and the shell's > keep it, and the run refused before anything is written.
void refuseFrameFiles(const ExtractArguments& a, const FrameWindow& window) {
    const FrameFileNames names(a.outputFolder, a.baseName, a.extension, window.count);
    for (std::int64_t number = 1; number <= window.count; ++number) {
        const std::string frame = names.name(number);
        if (const std::string refusal = fileRefusal(frame); !refusal.empty())
            fail(Failure::Code::frameUnwritable, frame,
                 "The frame '" + frame + "' cannot be written: " + refusal + ". Nothing was written.");
    }
}

// Why a file at path that exists cannot be read, in the system's words.
std::string unreadable(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return "it is not a regular file";
    const int file = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) return std::strerror(errno);
    close(file);
    return "";
}

// The report of a video the capture could not open. Called by position, the front end's
// fixed text; called by name, whether the file is missing, cannot be read or is no video.
std::string unusableVideo(const std::string& path, ExtractionCall call) {
    if (memoryRunsShort(decoderHeadroom)) return "Not enough memory to open the video '" + path + "'.";
    if (call == ExtractionCall::byPosition) return "The video '" + path + "' does not exist or we can not open it.";
    std::error_code error;
    if (!std::filesystem::exists(path, error)) return "The video '" + path + "' does not exist.";
    if (const std::string reason = unreadable(path); !reason.empty())
        return "The video '" + path + "' cannot be read: " + reason + ".";
    return "The file '" + path + "' is not a video that can be decoded.";
}

} // namespace

void extractFrames(const ExtractArguments& arguments, ExtractionCall call, const PassedOver& passedOver) {
    refuseListFile(arguments);
    VideoFrameSource video(arguments.videoPath);
    if (!video.isOpen())
        fail(Failure::Code::videoUnusable, arguments.videoPath, unusableVideo(arguments.videoPath, call));
    const FrameWindow window = windowOf(arguments, video);
    refuseFrameFiles(arguments, window);
    writeFrames(arguments, video, window, passedOver);
}

} // namespace tl
