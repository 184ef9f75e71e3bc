#pragma once

#include "common/RemovedOnSignal.hpp"

#include <memory>
#include <string>
#include <vector>

namespace tl {

// A new file for a target path, written under a temporary name in the target's folder and
// renamed over the target only when complete, the way careful writers replace files. Until
// then the target stays exactly as it was (missing, or the user's file byte for byte); the
// temporary file, and what exiftool leaves beside it, go with the object or, when a signal
// ends the process, with the process.
//
// The temporary name keeps the target's extension (".tl-XXXXXX.EXT"), so that writers that
// choose the format by the extension choose the same one.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& target);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // Whether the temporary file exists; when not, why not (creating it failed, or the
    // target is something other than a regular file, which is never replaced).
    bool ready() const { return !temporary.empty(); }
    const std::string& failure() const { return reason; }

    // Where to write.
    const std::string& path() const { return temporary; }

    // Puts the written file in the target's place, with the permissions a new file gets (or
    // those of the file it replaces). Returns false, with the reason, when it cannot.
    bool commit();

private:
    void removeTemporary();

    std::string target;
    std::string temporary;
    std::string reason;
    std::vector<std::unique_ptr<RemovedOnSignal>> guards;
};

} // namespace tl
