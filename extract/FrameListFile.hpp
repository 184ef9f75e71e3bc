#pragma once

#include "common/RemovedOnSignal.hpp"

#include <limits.h>

#include <cstdint>
#include <optional>
#include <string>

namespace tl {

// The optional list file of an extraction: the planned frame count, then one line per
// frame read holding that frame's path in UTF-8. Lines are separated by "\n"; no line
// end follows the last one. Each write opens and closes the file, so the list is
// complete up to the frame in hand whenever the run stops; a list file that cannot be
// written, or is not a regular file, is skipped silently (the run refuses such a path before
// it starts: see replacementRefusal).
//
// Should a signal (SIGINT, SIGTERM, SIGHUP, SIGQUIT) end the process while the list is
// kept, the count is first replaced by the number of lines listed, as for a video that
// broke off; a write under way when the signal comes is finished first, and none begins
// after it.
class FrameListFile {
public:
    // An empty path means no list file.
    explicit FrameListFile(std::string path);

    // Creates or truncates the file and writes the planned count.
    void start(std::int64_t plannedCount);

    // Appends the line of one frame.
    void add(const std::string& framePath);

    // Replaces the planned count by the number of frames listed, for a video that ended
    // before its planned frames. The list is written anew under a temporary name and put
    // in the old one's place, so that it is never seen half written.
    void countListedFrames() const;

    // The names the signal's last step works with, in memory it may read.
    struct Names {
        char list[PATH_MAX];
        char temporary[PATH_MAX];
    };

private:
    bool write(bool append, const std::string& bytes) const;
    void completeOnSignal();

    std::string path;
    bool started = false;
    std::string lines;  // every line after the count, each with the "\n" before it
    std::int64_t count = 0;     // of those lines
    Names names{};
    std::optional<RemovedOnSignal> completion;
};

} // namespace tl
