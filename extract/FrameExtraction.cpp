#include "extract/FrameExtraction.hpp"

#include "common/PathRefusal.hpp"
#include "common/SameFile.hpp"
#include "diag/Log.hpp"
#include "extract/FrameFileNames.hpp"
#include "extract/FrameFiler.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/FrameWindow.hpp"
#include "extract/VideoFrameSource.hpp"
#include "extract/VideoTagSidecar.hpp"
#include "output/EncodedImage.hpp"

#include <cstdio>
#include <optional>
#include <utility>
#include <vector>

namespace {

// The window of the call, or nothing (after a report) when the video or the call
// gives no usable one.
std::optional<FrameWindow> windowOf(const ExtractArguments& a, const VideoFrameSource& video) {
    const std::int64_t frameCount = video.frameCount();
    if (frameCount < 1) {
        reportError("main", "The video '" + a.videoPath + "' reports no frames.");
        return std::nullopt;
    }
    if (a.denominator == 0) {
        reportError("main", "The frame window of the video '" + a.videoPath +
                                "' has a denominator of 0.");
        return std::nullopt;
    }
    return computeFrameWindow(frameCount, a.startNumerator, a.endNumerator, a.denominator);
}

// A video that ends before the window does: the list file counts the frames it names, and
// the run is reported.
void reportBrokenOff(const ExtractArguments& a, FrameListFile& list, std::int64_t read, std::int64_t planned) {
    list.countListedFrames();
    reportError("main", "The video '" + a.videoPath + "' broke off: only " + std::to_string(read) + " of the " +
                            std::to_string(planned) + " frames of the window could be read; the list file counts " +
                            "those " + std::to_string(read) + ".");
}

// Returns whether every frame of the window was read and written; reports the one that
// was not written, or the end of a video that broke off.
bool writeFrames(const ExtractArguments& a, VideoFrameSource& video, const FrameWindow& window) {
    FrameListFile list(a.listPath);
    list.start(window.count);
    const FrameFileNames names(a.outputFolder, a.baseName, a.extension, window.count);
    // exiftool reads the video's tags while the capture seeks.
    VideoTagSidecar videoTags(a.videoPath);
    video.seekTo(window.first);
    FrameFiler filer(list, videoTags, a.videoPath);
    std::int64_t read = 0;
    while (read < window.count && !filer.failed()) {
        cv::Mat frame = video.read();
        if (frame.empty()) break;
        std::string path = names.name(++read);
        std::vector<unsigned char> bytes = encodeImage(path, frame);
        filer.file({std::move(path), std::move(frame), std::move(bytes)});
    }
    filer.finish();
    if (filer.failed()) {
        reportError("main", filer.failure());
        return false;
    }
    if (read == window.count) return true;
    reportBrokenOff(a, list, read, window.count);
    return false;
}

// The list file or the log naming the video, the list naming the log, or either being
// something other than a regular file or a file this user may not write:
// refused before anything is written. Reported in the log, or on standard error when the
// log itself is refused.
bool refusesItsFiles(const ExtractArguments& a) {
    const std::vector<std::string> video{a.videoPath};
    if (const std::string refusal = pathRefusal(logPath(), video); !refusal.empty()) {
        std::fprintf(stderr, "kadrimo: The log file '%s' cannot be written: %s. Nothing was written.\n",
                     logPath().c_str(), refusal.c_str());
        return true;
    }
    std::string refusal = pathRefusal(a.listPath, video);
    if (refusal.empty() && !a.listPath.empty() && samePath(a.listPath, logPath())) refusal = "it is the log file";
    if (refusal.empty()) return false;
    reportError("main", "The list file '" + a.listPath + "' cannot be written: " + refusal + ". Nothing was written.");
    return true;
}

} // namespace

int extractFrames(const ExtractArguments& arguments) {
    if (refusesItsFiles(arguments)) return 1;
    VideoFrameSource video(arguments.videoPath);
    if (!video.isOpen()) {
        reportError("main", "The video '" + arguments.videoPath +
                                "' does not exist or we can not open it.");
        return 1;
    }
    const std::optional<FrameWindow> window = windowOf(arguments, video);
    if (!window) return 1;
    return writeFrames(arguments, video, *window) ? 0 : 1;
}
