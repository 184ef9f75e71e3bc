#include "output/MetadataCopy.hpp"

#include "output/ChildProcess.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string backupOf(const std::string& written) { return written + "_original"; }

} // namespace

bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword) {
    PendingMetadataCopy(source, written, keyword).finish();
    return true;
}

PendingMetadataCopy::PendingMetadataCopy(const std::string& source, const std::string& written,
                                         const std::string& keyword)
    : sourceName(source), written(written), keyword(keyword) {
    std::error_code ignored;
    // A backup left from before would hide whether this copy got as far as writing.
    fs::remove(backupOf(written), ignored);
    ticket = exiftoolSession().begin(exiftoolProgram(),
                                     exiftoolArguments(sourceName.path(), written, keyword));
}

PendingMetadataCopy::~PendingMetadataCopy() { finish(); }

void PendingMetadataCopy::finish() {
    if (finished) return;
    finished = true;
    const std::string backup = backupOf(written);
    std::error_code ignored;
    // When the kept-alive exiftool fails it may have rewritten the file before it went:
    // its backup tells, and the copy is not repeated.
    if (!exiftoolSession().finish(ticket) && !fs::exists(backup, ignored))
        runToEnd(exiftoolProgram(), exiftoolArguments(sourceName.path(), written, keyword));
    fs::remove(backup, ignored);
}
