#include "fusion/Progress.hpp"

#include "merge/MergeEngine.hpp"

#include <fstream>
#include <mutex>

void writeProgressFile(const std::string& path, int visitingPosition, float percent) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file) return;
    file << visitingPosition << ' ' << static_cast<long long>(percent);
}

void addBandProgress(MergeEngine& engine, float step) {
    std::lock_guard<std::mutex> lock(engine.progressLock);
    engine.progress += step;
    if (engine.progress >= engine.lastWrittenProgress + 10) engine.writeProgress();
}

// Called with progressLock held. The last written progress moves in steps of 10 rather
// than to the percentage, so a large step is followed by further writes; 100 % is never
// shown, the exposure being finished only when the calling thread has joined everybody.
void MergeEngine::writeProgress() {
    if (progress >= 100) return;
    lastWrittenProgress += 10;
    if (progressPath) writeProgressFile(*progressPath, visitingPosition, progress);
}
