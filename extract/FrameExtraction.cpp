#include "extract/FrameExtraction.hpp"

#include "diag/Log.hpp"
#include "extract/FrameFileNames.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/FrameWindow.hpp"
#include "extract/VideoFrameSource.hpp"
#include "extract/VideoTagSidecar.hpp"
#include "output/ImageWriter.hpp"
#include "output/MetadataCopy.hpp"

#include <optional>
#include <vector>

namespace {

const char* const frameKeyword = "Tessaline_ImageFromVideo";

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

// The frame file written last. exiftool may still be copying the video's tags into it
// while the next frame is read and encoded in memory; the next file is written only
// after this one is tagged and listed, so on disk the frames still come one complete
// file after the other.
class LastFrame {
public:
    explicit LastFrame(const FrameListFile& list) : list(list) {}
    ~LastFrame() { complete(); }
    LastFrame(const LastFrame&) = delete;
    LastFrame& operator=(const LastFrame&) = delete;

    // Tags the frame's file when it was written, and lists it either way.
    void hold(const std::string& framePath, bool written, const std::string& tagSource) {
        path = framePath;
        if (written) tagging.emplace(tagSource, path, frameKeyword);
    }

    // Waits for the tags and lists the frame.
    void complete() {
        if (path.empty()) return;
        if (tagging) tagging->finish();
        tagging.reset();
        list.add(path);
        path.clear();
    }

private:
    const FrameListFile& list;
    std::string path;
    std::optional<PendingMetadataCopy> tagging;
};

void writeFrames(const ExtractArguments& a, VideoFrameSource& video, const FrameWindow& window) {
    const FrameListFile list(a.listPath);
    list.start(window.count);
    const FrameFileNames names(a.outputFolder, a.baseName, a.extension, window.count);
    // exiftool reads the video's tags while the capture seeks.
    VideoTagSidecar videoTags(a.videoPath);
    video.seekTo(window.first);
    LastFrame last(list);
    for (std::int64_t number = 1; number <= window.count; ++number) {
        const cv::Mat frame = video.read();
        if (frame.empty()) break;  // the video ended before the window did
        const std::string path = names.name(number);
        const std::vector<unsigned char> encoded = encodeImage(path, frame);
        last.complete();
        last.hold(path, writeEncodedImage(path, encoded, frame), videoTags.source());
    }
}

} // namespace

int extractFrames(const ExtractArguments& arguments) {
    VideoFrameSource video(arguments.videoPath);
    if (!video.isOpen()) {
        reportError("main", "The video '" + arguments.videoPath +
                                "' does not exist or we can not open it.");
        return 1;
    }
    const std::optional<FrameWindow> window = windowOf(arguments, video);
    if (!window) return 1;
    writeFrames(arguments, video, *window);
    return 0;
}
