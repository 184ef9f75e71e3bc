#include "output/MetadataCopy.hpp"

#include "diag/Log.hpp"
#include "output/ChildProcess.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string backupOf(const std::string& written) { return written + "_original"; }

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

} // namespace

bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword,
                  const std::string& shownAs) {
    PendingMetadataCopy(source, written, keyword, shownAs).finish();
    return true;
}

PendingMetadataCopy::PendingMetadataCopy(const std::string& source, const std::string& written,
                                         const std::string& keyword, const std::string& shownAs)
    : sourceGiven(source), sourceName(source), written(written), keyword(keyword), shownAs(shownAs.empty() ? written : shownAs),
      backupExisted(exists(backupOf(written))) {
    ticket = exiftoolSession().begin(exiftoolProgram(), exiftoolArguments(sourceName.path(), written, keyword));
}

PendingMetadataCopy::~PendingMetadataCopy() { finish(); }

void PendingMetadataCopy::finish() {
    if (finished) return;
    finished = true;
    ExiftoolSession& session = exiftoolSession();
    const ExiftoolSession::Outcome outcome = session.finish(ticket);
    // An exiftool that went away may have rewritten the file before it went: a new backup
    // tells, and the copy is not repeated.
    const bool repeat = outcome == ExiftoolSession::Outcome::notTaken ||
                        (outcome == ExiftoolSession::Outcome::ended && (backupExisted || !exists(backupOf(written))));
    const bool stopped =
        outcome == ExiftoolSession::Outcome::silent ||
        (repeat && runToEnd(exiftoolProgram(), exiftoolArguments(sourceName.path(), written, keyword),
                            session.copyDeadline()) == RunEnd::stopped);
    if (stopped) reportStopped();
    std::error_code ignored;
    if (!backupExisted) fs::remove(backupOf(written), ignored);
}

void PendingMetadataCopy::reportStopped() const {
    const long long seconds = exiftoolSession().copyDeadline().count() / 1000;
    reportError("main", "exiftool did not finish copying the tags of '" + sourceGiven + "' into '" + shownAs +
                            "' within " + std::to_string(seconds) + " seconds and was stopped; the file keeps no "
                            "copied tags.");
}
