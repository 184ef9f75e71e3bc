#pragma once

#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>

#include <cstdint>
#include <string>

namespace tl {

// The frames of one video file, numbered from 0 in the order the decoder delivers
// them from the start of the stream (8-bit B, G, R).
//
// The capture's own frame position is derived from timestamps and lands on other
// frames in files with a variable frame rate, timestamp gaps or broken indexes. This
// source therefore positions itself by counting decoded frames from the start, and
// takes the faster timestamp seek only for a distant frame and only in a stream whose
// timestamps are shown to be one frame interval apart from first to last. Every frame
// reached by such a seek is checked against its expected timestamp; on any mismatch
// the source counts from the start after all.
class VideoFrameSource {
public:
    // Frames up to this number are reached by reading forward from the start.
    static constexpr std::int64_t defaultForwardReadLimit = 500;

    // Opens the file at path when it can be read; isOpen tells whether the capture
    // accepted it. Exceptions of the capture count as a failure to open.
    explicit VideoFrameSource(std::string path,
                              std::int64_t forwardReadLimit = defaultForwardReadLimit);

    bool isOpen() const { return capture.isOpened(); }

    // The number of frames: the count in the file's header, or where the header has none,
    // the one FFmpeg derives from the stream's duration and frame rate (truncated). A file
    // that gives no positive number that way (a recording written as a stream, whose
    // container was never told its length; a still image) is counted by decoding it once
    // from start to end. 0 when no frame decodes.
    std::int64_t frameCount() const { return frames; }

    // The size of the frames as the stream's header gives it (0 x 0 when it gives none).
    cv::Size frameSize() const;

    // Makes frame index the next one that read returns.
    void seekTo(std::int64_t index);

    // The next frame, or an empty image at the end of the video.
    cv::Mat read();

private:
    bool reopen();
    std::int64_t countFrames() const;
    bool grabForwardTo(std::int64_t index);
    bool seekByTimestamp(std::int64_t index);
    bool landBefore(std::int64_t index);
    bool grabAt(std::int64_t index, bool timestampMayBeMissing);
    bool timestampsFollowFrameNumbers();
    bool packetCountIs(std::int64_t expected) const;
    bool isAtTimestampOf(std::int64_t index, bool timestampMayBeMissing) const;
    double timestamp() const;

    std::string path;
    std::int64_t forwardReadLimit;
    cv::VideoCapture capture;
    std::int64_t frames = 0;
    std::int64_t position = 0;    // number of the frame that read returns next
    bool positionedByTimestamp = false;
    double firstTimestamp = 0.0;  // of frame 0, in milliseconds
    double frameInterval = 0.0;   // in milliseconds
};

// Whether the file at path is a regular file that can be opened for reading (a FIFO is
// not: reading it could wait for ever).
bool fileCanBeRead(const std::string& path);

} // namespace tl
