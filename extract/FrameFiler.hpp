#pragma once

#include "extract/EncodedFrameQueue.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/VideoTagSidecar.hpp"
#include "output/MetadataCopy.hpp"

#include <optional>
#include <string>
#include <thread>

// Writes the files of encoded frames one after the other on a thread of its own. Each
// file is written only after the one before it has been tagged with the video's tags
// and listed, so on disk the frames come one finished file after the other; exiftool
// tags one frame while the next are read and encoded, and is handed the next file as
// soon as it is done. When no thread can be started the frames are filed on the
// caller's thread as they come, in the same order.
class FrameFiler {
public:
    FrameFiler(const FrameListFile& list, VideoTagSidecar& videoTags);
    ~FrameFiler();
    FrameFiler(const FrameFiler&) = delete;
    FrameFiler& operator=(const FrameFiler&) = delete;

    // Hands over the next frame.
    void file(EncodedFrame frame);

    // Files what was handed over and waits until the last file is tagged and listed.
    void finish();

private:
    void fileFrames();
    void fileNow(EncodedFrame& frame);
    void completeLast();

    const FrameListFile& list;
    VideoTagSidecar& videoTags;
    EncodedFrameQueue queue;
    std::thread worker;
    std::string lastPath;  // the frame filed last, not yet listed
    std::optional<PendingMetadataCopy> lastTags;
};
