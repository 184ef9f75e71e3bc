#pragma once

#include <cstdio>
#include <string>

namespace tl {

// Where a merge stands, as the progress display shows it.
struct MergeProgress {
    int exposure = 0;           // the image in hand, 1 for the instant image; 0 before it
    int total = 0;              // images the merge visits, the instant image among them
    double percent = 0;         // how far the exposure in hand has come, 0 to 100
    double elapsedSeconds = 0;  // since the merge began
};

// The merge's progress as one terminal line columns wide, for example
//   "\rexposure 3/5 [##########----------]  47%  0:12" followed by blanks:
// the exposure in hand, a bar and the percentage of the whole merge done, and the
// elapsed time (M:SS, H:MM:SS from an hour on). The leading carriage return draws it
// over the line before; the blanks wipe what a longer line left, up to one column
// short of the width, since a full line would wrap. The bar shrinks on a narrow
// terminal and is left out on a very narrow one.
std::string progressLine(const MergeProgress& progress, int columns);

// The merge's progress as one line of a log: "exposure 3/5  60%  0:12" and its line end.
std::string progressLogLine(const MergeProgress& progress);

// Draws the progress line on a stream that is a terminal. A file or a pipe gets no carriage
// returns: once a run has taken quietSeconds, it gets one line of a log for each image
// instead, so that a long run shows in a log or a CI job that it goes on. Not
// thread-safe: one thread draws.
class ProgressBar {
public:
    explicit ProgressBar(std::FILE* stream);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // Redraws the line when what it shows has changed.
    void show(const MergeProgress& progress);
    // Ends a line that was drawn, so that what follows starts on a line of its own.
    void finish();

    static constexpr double quietSeconds = 10;

private:
    void writeLogLine(const MergeProgress& progress);

    std::FILE* stream;
    bool terminal;
    int columns;
    std::string shown;
    int loggedExposure = 0;
};

} // namespace tl
