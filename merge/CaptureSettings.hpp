#pragma once

#include "reference/CaptureSettings.hpp"

#include <string>
#include <vector>

namespace tl {

// The capture settings of each file, in the order given, read with the process's
// kept-alive exiftool in one command: the tag copy that writes the merged image then
// finds exiftool running. The command is handed over when the object is made, so that
// exiftool starts and reads while the caller goes on; collect waits for the answer. A file
// that is missing or that exiftool cannot read, or every file when exiftool cannot be run,
// gets no settings.
class PendingCaptureSettings {
public:
    explicit PendingCaptureSettings(std::vector<std::string> paths);
    std::vector<CaptureSettings> collect();

private:
    std::vector<std::string> paths;
    std::vector<std::size_t> asked;  // the files that are there, which exiftool answers for
    unsigned long ticket = 0;
};

// The settings in one line of exiftool's table output (-T -n): exposure time, f-number
// and ISO separated by tabs, "-" for a tag the file lacks. An ISO tag of several values
// ("0 200", as some cameras write it) gives its first positive one; zero, negative,
// infinite and unreadable values count as missing, and so do exposure times below a
// microsecond or above an hour.
CaptureSettings parseCaptureSettingsLine(const std::string& line);

} // namespace tl
