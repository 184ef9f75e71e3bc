#include "output/MetadataCopy.hpp"

#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"

#include <filesystem>

namespace tl {

namespace fs = std::filesystem;

namespace {

std::string backupOf(const std::string& written) { return written + "_original"; }

bool exists(const std::string& path) {
    std::error_code ignored;
    return fs::exists(fs::symlink_status(path, ignored));
}

TagCopyOutcome failure(const std::string& reason) { return {TagCopyOutcome::End::failed, reason}; }

TagCopyOutcome givenUp() {
    const long long seconds = exiftoolSession().copyDeadline().count() / 1000;
    return failure("exiftool did not finish a tag copy within " + std::to_string(seconds) +
                   " seconds and is not used again in this run");
}

} // namespace

TagCopyOutcome copyMetadata(const std::string& source, const std::string& written, const std::string& keyword) {
    return PendingMetadataCopy(source, written, keyword).finish();
}

PendingMetadataCopy::PendingMetadataCopy(const std::string& source, const std::string& written,
                                         const std::string& keyword)
    : sourceName(source), written(written), arguments(exiftoolArguments(sourceName.path(), written, keyword)),
      writable(exiftoolWritesTagsInto(written)), backupExisted(exists(backupOf(written))) {
    if (writable) ticket = exiftoolSession().begin(exiftoolProgram(), arguments);
}

PendingMetadataCopy::~PendingMetadataCopy() { finish(); }

TagCopyOutcome PendingMetadataCopy::finish() {
    if (finished) return outcome;
    finished = true;
    outcome = settle();
    std::error_code ignored;
    if (!backupExisted) fs::remove(backupOf(written), ignored);
    return outcome;
}

TagCopyOutcome PendingMetadataCopy::settle() const {
    if (!writable) return {TagCopyOutcome::End::formatHoldsNoTags, ""};
    ExiftoolSession& session = exiftoolSession();
    ExiftoolSession::Outcome end = session.finish(ticket);
    // An exiftool that went away may have rewritten the file before it went: a new backup
    // tells, and the copy is not repeated.
    if (end == ExiftoolSession::Outcome::ended && rewritten()) return {};
    if (end == ExiftoolSession::Outcome::notTaken || end == ExiftoolSession::Outcome::ended)
        end = session.runAlone(exiftoolProgram(), arguments);
    switch (end) {
    case ExiftoolSession::Outcome::done: return outcomeOfEnded();
    case ExiftoolSession::Outcome::notStarted: return failure("exiftool cannot be started");
    default: return givenUp();
    }
}

// exiftool keeps the file it rewrote as its backup: without a new backup it left the file
// as it was, whatever it said.
TagCopyOutcome PendingMetadataCopy::outcomeOfEnded() const {
    if (backupExisted || rewritten()) return {};
    return failure("exiftool could not write them into the file");
}

bool PendingMetadataCopy::rewritten() const { return !backupExisted && exists(backupOf(written)); }

} // namespace tl
