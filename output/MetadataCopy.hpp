#pragma once

#include "output/ExiftoolSourceLink.hpp"

#include <string>

// Copies the tags of source into the written file with exiftool, adds keyword to its
// Keywords and sets its Firmware to "Tessaline", then removes the backup
// "<written>_original" that exiftool leaves (only one that this copy made: a file of that
// name that was there before is not ours). What exiftool cannot do (no exiftool, a source
// without tags, a format it cannot write) leaves the written file as it was and is only
// told on the standard streams; an exiftool that does not finish within its deadline is
// stopped and reported in the log, naming shownAs (the file's final name). Always returns
// true.
bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword,
                  const std::string& shownAs = "");

// The same copy in two steps: the constructor hands it to the kept-alive exiftool and
// returns at once, finish waits for it, runs a separate exiftool when the kept-alive one
// could not do it, and removes the backup. A caller that writes many files prepares the
// next one in memory meanwhile. Copies are done in the order they begin; one that is never
// finished by hand is finished when it goes.
class PendingMetadataCopy {
public:
    PendingMetadataCopy(const std::string& source, const std::string& written, const std::string& keyword,
                        const std::string& shownAs = "");
    ~PendingMetadataCopy();
    PendingMetadataCopy(const PendingMetadataCopy&) = delete;
    PendingMetadataCopy& operator=(const PendingMetadataCopy&) = delete;

    void finish();

private:
    void reportStopped() const;

    std::string sourceGiven;
    ExiftoolSourceLink sourceName;
    std::string written;
    std::string keyword;
    std::string shownAs;
    bool backupExisted;
    unsigned long ticket = 0;
    bool finished = false;
};
