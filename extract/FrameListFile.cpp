#include "extract/FrameListFile.hpp"

#include "common/PlainFile.hpp"
#include "extract/ListFileName.hpp"
#include "output/ReplacingFile.hpp"

#include <cstdio>
#include <utility>

namespace {

// Writes bytes into the regular file at path (appending, or as its whole content).
bool writeText(const std::string& path, bool append, const std::string& bytes) {
    std::FILE* file = openPlainFileForWriting(path, append);
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

FrameListFile::FrameListFile(std::string path) : path(std::move(path)) {}

void FrameListFile::start(std::int64_t plannedCount) {
    started = write(false, std::to_string(plannedCount));
    lines.clear();
    count = 0;
}

void FrameListFile::add(const std::string& framePath) {
    if (path.empty()) return;
    // Built by appending: GCC 12 at -O3 warns wrongly about "\n" + std::string.
    std::string line = "\n";
    line += listFileName(framePath);
    write(true, line);
    lines += line;
    ++count;
}

void FrameListFile::countListedFrames() const {
    if (!started) return;
    ReplacingFile file(path);
    if (file.ready() && writeText(file.path(), false, std::to_string(count) + lines)) file.commit();
}

bool FrameListFile::write(bool append, const std::string& bytes) const {
    return !path.empty() && writeText(path, append, bytes);
}
