#include "extract/FrameExtraction.hpp"

#include "diag/Log.hpp"
#include "extract/FrameFileNames.hpp"
#include "extract/FrameFiler.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/FrameWindow.hpp"
#include "extract/VideoFrameSource.hpp"
#include "extract/VideoTagSidecar.hpp"
#include "output/EncodedImage.hpp"

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

void writeFrames(const ExtractArguments& a, VideoFrameSource& video, const FrameWindow& window) {
    const FrameListFile list(a.listPath);
    list.start(window.count);
    const FrameFileNames names(a.outputFolder, a.baseName, a.extension, window.count);
    // exiftool reads the video's tags while the capture seeks.
    VideoTagSidecar videoTags(a.videoPath);
    video.seekTo(window.first);
    FrameFiler filer(list, videoTags);
    for (std::int64_t number = 1; number <= window.count; ++number) {
        cv::Mat frame = video.read();
        if (frame.empty()) break;  // the video ended before the window did
        std::string path = names.name(number);
        std::vector<unsigned char> bytes = encodeImage(path, frame);
        filer.file({std::move(path), std::move(frame), std::move(bytes)});
    }
    filer.finish();
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
