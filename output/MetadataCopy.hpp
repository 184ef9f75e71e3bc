#pragma once

#include <string>

// Copies the tags of source into the written file with exiftool, adds keyword to its
// Keywords and sets its Firmware to "Tessaline", then removes the backup
// "<written>_original" that exiftool leaves. Whatever goes wrong (no exiftool, a source
// without tags, a format exiftool cannot write) leaves the written file as it was and
// is only told on the standard streams. Always returns true.
bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword);
