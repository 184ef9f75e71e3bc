#pragma once

#include "common/TaskGroup.hpp"
#include "extract/EncodedFrameQueue.hpp"
#include "extract/FirstFailure.hpp"
#include "extract/FrameListFile.hpp"
#include "extract/FrameTags.hpp"
#include "output/MetadataCopy.hpp"
#include "output/ReplacingFile.hpp"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

namespace tl {

// Writes the files of encoded frames one after the other on a thread of its own. Each
// frame is written under a temporary name with the video's tags, and only then put in its
// place and listed, after the one before it; so on disk the frames come one finished file
// after the other, and the list names only files that exist. The tags are placed into the
// frame's bytes as they are written when they can be (FrameTags); otherwise exiftool tags
// one frame while the next are read and encoded. When no thread can be started the frames
// are filed on the caller's thread as they come, in the same order.
//
// The first frame that cannot be written (or would replace the video) stops the filing:
// later frames are dropped, and failure() says what happened.
class FrameFiler {
public:
    FrameFiler(FrameListFile& list, FrameTags& videoTags, std::string videoPath);
    ~FrameFiler();
    FrameFiler(const FrameFiler&) = delete;
    FrameFiler& operator=(const FrameFiler&) = delete;

    // Hands over the next frame. A frame whose bytes are given needs no image.
    void file(EncodedFrame frame);

    // Files what was handed over and waits until the last file is tagged and listed.
    void finish();

    // Whether a frame could not be written; the frames handed over after it are dropped.
    bool failed() const { return firstFailure.failed(); }
    // The report of that frame: its path and why.
    std::string failure() const;

private:
    void fileFrames();
    void fileNow(EncodedFrame& frame);
    void completeLast();
    void fail(const std::string& path, const std::string& reason) noexcept;
    void failFrom(const std::string& path, const std::exception& cause) noexcept;

    FrameListFile& list;
    FrameTags& videoTags;
    const std::string videoPath;
    EncodedFrameQueue queue;
    TaskGroup worker;
    bool workerRunning = false;
    std::string lastPath;  // the frame filed last, not yet in its place nor listed
    std::unique_ptr<ReplacingFile> lastFile;
    std::unique_ptr<PendingMetadataCopy> lastTags;  // none when the tags are in place
    FirstFailure firstFailure;
};

} // namespace tl
