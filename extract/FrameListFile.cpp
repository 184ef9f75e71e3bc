#include "extract/FrameListFile.hpp"

#include "common/PlainFile.hpp"
#include "extract/ListFileName.hpp"

#include <cstdio>
#include <utility>

FrameListFile::FrameListFile(std::string path) : path(std::move(path)) {}

void FrameListFile::start(std::int64_t plannedCount) const { write(false, std::to_string(plannedCount)); }

void FrameListFile::add(const std::string& framePath) const {
    // Built by appending: GCC 12 at -O3 warns wrongly about "\n" + std::string.
    std::string line = "\n";
    line += listFileName(framePath);
    write(true, line);
}

void FrameListFile::write(bool append, const std::string& bytes) const {
    if (path.empty()) return;
    std::FILE* file = openPlainFileForWriting(path, append);
    if (!file) return;
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
}
