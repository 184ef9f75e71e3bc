#pragma once

#include "output/ExiftoolSourceLink.hpp"

#include <string>
#include <vector>

namespace tl {

// How a tag copy ended.
struct TagCopyOutcome {
    enum class End {
        copied,             // the file carries the copied tags
        formatHoldsNoTags,  // exiftool cannot write this format: nothing was asked of it
        failed,             // the file carries no copied tags; reason says why
    };
    End end = End::copied;
    std::string reason;
};

// Copies the tags of source into the written file with exiftool, adds keyword to its
// Keywords and sets its Firmware to "Tessaline", then removes the backup
// "<written>_original" that exiftool leaves (only one that this copy made: a file of that
// name that was there before is not ours). A format that exiftool cannot write is left
// alone. The copy counts as failed when exiftool leaves the file as it was (no exiftool,
// no room, an exiftool that ends at once), when it does not finish within its deadline
// (it is stopped, and given up for the rest of the process), or when exiftool was given up
// before; reporting that is the caller's.
TagCopyOutcome copyMetadata(const std::string& source, const std::string& written, const std::string& keyword);

// The same copy in two steps: the constructor hands it to the kept-alive exiftool and
// returns at once, finish waits for it, runs a separate exiftool when the kept-alive one
// could not do it, and removes the backup. A caller that writes many files prepares the
// next one in memory meanwhile. Copies are done in the order they begin; one that is never
// finished by hand is finished when it goes.
class PendingMetadataCopy {
public:
    PendingMetadataCopy(const std::string& source, const std::string& written, const std::string& keyword);
    ~PendingMetadataCopy();
    PendingMetadataCopy(const PendingMetadataCopy&) = delete;
    PendingMetadataCopy& operator=(const PendingMetadataCopy&) = delete;

    // Waits for the copy; later calls return the same outcome.
    TagCopyOutcome finish();

private:
    TagCopyOutcome settle() const;
    TagCopyOutcome outcomeOfEnded() const;
    bool rewritten() const;

    ExiftoolSourceLink sourceName;
    std::string written;
    std::vector<std::string> arguments;
    bool writable;
    bool backupExisted;
    unsigned long ticket = 0;
    bool finished = false;
    TagCopyOutcome outcome;
};

} // namespace tl
