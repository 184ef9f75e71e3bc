#include "extract/VideoFrameSource.hpp"

#include "common/PlainFile.hpp"
#include "extract/FrameWindow.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace tl {

namespace {

// Capture calls are made through this guard: the capture may throw on broken files,
// and a throw means the same as a failed call.
template <typename Call>
bool succeeds(Call&& call) {
    try {
        return call();
    } catch (...) {
        return false;
    }
}

} // namespace

bool fileCanBeRead(const std::string& path) { return isReadablePlainFile(path); }

VideoFrameSource::VideoFrameSource(std::string path, std::int64_t forwardReadLimit)
    : path(std::move(path)), forwardReadLimit(forwardReadLimit) {
    if (fileCanBeRead(this->path) && reopen()) frames = countFrames();
}

bool VideoFrameSource::reopen() {
    position = 0;
    positionedByTimestamp = false;
    return succeeds([&] { return capture.open(path, cv::CAP_FFMPEG); });
}

std::int64_t VideoFrameSource::countFrames() const {
    const double reported = capture.get(cv::CAP_PROP_FRAME_COUNT);
    if (reported >= 1.0) return truncateToInt64(reported);
    // A capture of its own, so that this one stays at the start. grab decodes without
    // converting colours.
    cv::VideoCapture counting;
    if (!succeeds([&] { return counting.open(path, cv::CAP_FFMPEG); })) return 0;
    std::int64_t decoded = 0;
    while (succeeds([&] { return counting.grab(); })) ++decoded;
    return decoded;
}

cv::Size VideoFrameSource::frameSize() const {
    const double width = capture.get(cv::CAP_PROP_FRAME_WIDTH);
    const double height = capture.get(cv::CAP_PROP_FRAME_HEIGHT);
    // Sizes beyond any real frame (a broken header) are no size.
    constexpr double largest = 1 << 14;
    if (!(width >= 1 && width <= largest && height >= 1 && height <= largest)) return {};
    return {static_cast<int>(width), static_cast<int>(height)};
}

void VideoFrameSource::seekTo(std::int64_t index) {
    if (index > forwardReadLimit && seekByTimestamp(index)) return;
    grabForwardTo(index);
}

cv::Mat VideoFrameSource::read() {
    cv::Mat frame;
    bool delivered = succeeds([&] { return capture.read(frame); });
    if (positionedByTimestamp && (delivered ? !isAtTimestampOf(position, true) : position < frameCount())) {
        // The seek did not land where the timestamps promised: count from the start.
        if (!grabForwardTo(position)) return {};
        delivered = succeeds([&] { return capture.read(frame); });
    }
    if (!delivered || frame.empty()) return {};
    ++position;
    return frame;
}

bool VideoFrameSource::grabForwardTo(std::int64_t index) {
    // grab decodes without converting colours, the cheapest way to step over frames.
    if (index < position || positionedByTimestamp) {
        if (!reopen()) return false;
    }
    while (position < index) {
        if (!succeeds([&] { return capture.grab(); })) return false;
        ++position;
    }
    return true;
}

bool VideoFrameSource::seekByTimestamp(std::int64_t index) {
    const bool regular = timestampsFollowFrameNumbers();
    // The checks have moved the capture: start over whatever they found.
    if (!reopen() || !regular) return false;
    if (!landBefore(index)) {
        reopen();
        return false;
    }
    position = index;
    positionedByTimestamp = true;
    return true;
}

bool VideoFrameSource::landBefore(std::int64_t index) {
    // The capture's seek makes the next grab return the frame whose timestamp belongs
    // to the number asked for. Landing a little early and grabbing forward reaches the
    // frames that the decoder holds back until the end of the stream, which come
    // without a timestamp, from a frame whose timestamp is known.
    constexpr std::int64_t leadIn = 16;
    const std::int64_t anchor = std::max<std::int64_t>(0, index - leadIn);
    if (!succeeds([&] { return capture.set(cv::CAP_PROP_POS_FRAMES, static_cast<double>(anchor)); }) ||
        !grabAt(anchor, false))
        return false;
    for (std::int64_t i = anchor + 1; i < index; ++i)
        if (!grabAt(i, true)) return false;
    return true;
}

bool VideoFrameSource::grabAt(std::int64_t index, bool timestampMayBeMissing) {
    return succeeds([&] { return capture.grab(); }) && isAtTimestampOf(index, timestampMayBeMissing);
}

// A stream qualifies for timestamp seeks when it holds as many packets as its header
// counts frames (an AVI with dropped-frame gaps does not), its first frames are one
// frame interval apart, and its last frame lies (count - 1) intervals after the first
// and is followed by the end. A variable frame rate fails the timing checks.
bool VideoFrameSource::timestampsFollowFrameNumbers() {
    const std::int64_t count = frameCount();
    const double fps = capture.get(cv::CAP_PROP_FPS);
    if (count < 3 || !(fps > 0.0) || !packetCountIs(count) || !reopen()) return false;
    frameInterval = 1000.0 / fps;

    if (!succeeds([&] { return capture.grab(); })) return false;
    firstTimestamp = timestamp();
    if (!grabAt(1, false) || !grabAt(2, false)) return false;

    const std::int64_t last = count - 1;
    if (!landBefore(last) || !grabAt(last, true)) return false;
    return !succeeds([&] { return capture.grab(); });
}

bool VideoFrameSource::packetCountIs(std::int64_t expected) const {
    // In raw mode the capture hands out the stream's packets without decoding them,
    // so counting them costs little more than reading the file.
    cv::VideoCapture packets;
    if (!succeeds([&] { return packets.open(path, cv::CAP_FFMPEG); }) ||
        !succeeds([&] { return packets.set(cv::CAP_PROP_FORMAT, -1); }))
        return false;
    std::int64_t counted = 0;
    while (counted <= expected && succeeds([&] { return packets.grab(); })) ++counted;
    return counted == expected;
}

bool VideoFrameSource::isAtTimestampOf(std::int64_t index, bool timestampMayBeMissing) const {
    const double expected = firstTimestamp + static_cast<double>(index) * frameInterval;
    const double actual = timestamp();
    // The capture reports 0 for frames that it gets without a timestamp.
    if (timestampMayBeMissing && actual == 0.0) return true;
    return std::abs(actual - expected) < frameInterval / 4.0;
}

double VideoFrameSource::timestamp() const { return capture.get(cv::CAP_PROP_POS_MSEC); }

} // namespace tl
