#include "output/ReplacingFile.hpp"

#include "common/SameFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace tl {

namespace fs = std::filesystem;

namespace {

// The permissions of a file created now: 0666 without the process's umask, read from the
// kernel rather than set and restored, which would race with other threads.
mode_t newFileMode() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("Umask:", 0) == 0) return 0666 & ~static_cast<mode_t>(std::strtol(line.c_str() + 6, nullptr, 8));
    return 0644;
}

// The file a symbolic link leads to is replaced, not the link.
std::string resolvedTarget(const std::string& target) {
    std::error_code error;
    if (!fs::is_symlink(fs::symlink_status(target, error))) return target;
    const fs::path resolved = fs::weakly_canonical(target, error);
    return error ? target : resolved.string();
}

std::string systemMessage(int error) { return std::strerror(error); }

} // namespace

ReplacingFile::ReplacingFile(const std::string& requested) : target(resolvedTarget(requested)) {
    if (namesNonRegularFile(target)) {
        reason = "it is not a regular file";
        return;
    }
    const fs::path place(target);
    const std::string extension = place.extension().string();
    const fs::path folder = place.has_parent_path() ? place.parent_path() : fs::path(".");
    // The name is short whatever the target's length, so that a target of the longest name
    // a folder takes still has a temporary file, and exiftool room for its own names beside it.
    std::string pattern = (folder / (".tl-XXXXXX" + extension)).string();
    const RemovedOnSignal::Creation creation;
    const int descriptor = mkostemps(pattern.data(), static_cast<int>(extension.size()), O_CLOEXEC);
    if (descriptor < 0) {
        reason = systemMessage(errno);
        return;
    }
    close(descriptor);
    temporary = pattern;
    // exiftool rewrites a file through "<file>_exiftool_tmp" and keeps "<file>_original".
    for (const char* suffix : {"", "_exiftool_tmp", "_original"})
        guards.push_back(std::make_unique<RemovedOnSignal>(temporary + suffix, RemovedOnSignal::Kind::file));
}

ReplacingFile::~ReplacingFile() { removeTemporary(); }

bool ReplacingFile::commit() {
    if (!ready()) return false;
    struct stat existing {};
    const mode_t mode = stat(target.c_str(), &existing) == 0 ? existing.st_mode & 07777 : newFileMode();
    chmod(temporary.c_str(), mode);
    if (std::rename(temporary.c_str(), target.c_str()) != 0) {
        reason = systemMessage(errno);
        return false;
    }
    temporary.clear();
    return true;
}

void ReplacingFile::removeTemporary() {
    if (temporary.empty()) return;
    std::error_code ignored;
    fs::remove(temporary, ignored);
    fs::remove(temporary + "_exiftool_tmp", ignored);
    temporary.clear();
}

} // namespace tl
