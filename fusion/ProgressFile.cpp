#include "fusion/ProgressFile.hpp"

#include "common/PlainFile.hpp"

#include <cstdio>
#include <utility>

namespace tl {

ProgressFile::ProgressFile(std::string path, int visitingPosition)
    : path(std::move(path)), visitingPosition(visitingPosition) {}

void ProgressFile::begin() { write(0); }

// The last written progress moves in steps of 10 rather than to the percentage, so a large
// step is followed by further writes; 100 % is never shown, the exposure being finished
// only when the calling thread has joined every worker.
void ProgressFile::addBandProgress(float step) {
    const std::lock_guard<std::mutex> held(lock);
    progress += step;
    if (progress < lastWritten + 10 || progress >= 100) return;
    lastWritten += 10;
    write(progress);
}

float ProgressFile::percent() const {
    const std::lock_guard<std::mutex> held(lock);
    return progress;
}

float ProgressFile::lastWrittenPercent() const {
    const std::lock_guard<std::mutex> held(lock);
    return lastWritten;
}

void ProgressFile::write(float shown) const {
    std::FILE* file = openPlainFileForWriting(path, false);
    if (!file) return;
    const std::string line = std::to_string(visitingPosition) + ' ' + std::to_string(static_cast<long long>(shown));
    std::fwrite(line.data(), 1, line.size(), file);
    std::fclose(file);
}

} // namespace tl
