#pragma once

#include <mutex>
#include <string>

namespace tl {

// The progress file of a merge while one exposure is compensated: one line, the exposure's
// visiting position, a blank and the percentage within the exposure truncated toward zero,
// no line end; rewritten in full each time. A file that cannot be opened, or is not a
// regular file, is skipped silently. The band workers of the exposure share one object.
class ProgressFile {
public:
    ProgressFile(std::string path, int visitingPosition);
    ProgressFile(const ProgressFile&) = delete;
    ProgressFile& operator=(const ProgressFile&) = delete;

    // Writes the position with 0 %.
    void begin();

    // Adds step percent for a band worker and rewrites the file once the percentage has
    // reached the last written progress + 10. Serialised, so that the file never goes back.
    void addBandProgress(float step);

    float percent() const;
    float lastWrittenPercent() const;

private:
    void write(float shown) const;

    const std::string path;
    const int visitingPosition;
    mutable std::mutex lock;
    float progress = 0;
    float lastWritten = 0;
};

} // namespace tl
