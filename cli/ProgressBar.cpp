#include "cli/ProgressBar.hpp"

#include "diag/Log.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr int defaultColumns = 80;
constexpr int widestBar = 40;
constexpr int narrowestBar = 10;

double shareDone(const MergeProgress& p) {
    if (p.total <= 0 || p.exposure <= 0) return 0;
    const double done = (p.exposure - 1) + std::clamp(p.percent, 0.0, 100.0) / 100;
    return std::clamp(done / p.total, 0.0, 1.0);
}

std::string elapsedText(double seconds) {
    const long total = seconds > 0 ? static_cast<long>(seconds) : 0;
    char text[32];
    if (total < 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
    return text;
}

std::string bar(double share, int width) {
    const int filled = static_cast<int>(std::floor(share * width));
    return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] ";
}

int terminalColumns(std::FILE* stream) {
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return defaultColumns;
    return size.ws_col;
}

std::string head(const MergeProgress& progress) {
    return "exposure " + std::to_string(std::max(progress.exposure, 0)) + "/" + std::to_string(progress.total) + " ";
}

std::string tail(const MergeProgress& progress) {
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", static_cast<int>(std::floor(shareDone(progress) * 100)));
    return std::string(percent) + "  " + elapsedText(progress.elapsedSeconds);
}

} // namespace

std::string progressLine(const MergeProgress& progress, int columns) {
    const std::string start = head(progress), end = tail(progress);
    const int usable = columns - 1;
    const int room = usable - static_cast<int>(start.size() + end.size()) - 3;  // "[", "] "
    std::string line = start + (room >= narrowestBar ? bar(shareDone(progress), std::min(room, widestBar)) : "") + end;
    line.resize(static_cast<std::size_t>(std::max(usable, 0)), ' ');
    return "\r" + line;
}

std::string progressLogLine(const MergeProgress& progress) { return head(progress) + tail(progress) + "\n"; }

ProgressBar::ProgressBar(std::FILE* stream)
    : stream(stream), terminal(isatty(fileno(stream)) == 1), columns(terminal ? terminalColumns(stream) : 0) {}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::show(const MergeProgress& progress) {
    if (!terminal) return writeLogLine(progress);
    std::string line = progressLine(progress, columns);
    if (line == shown) return;
    std::fputs(line.c_str(), stream);
    std::fflush(stream);
    if (stream == stderr) standardErrorLineIsOpen();
    shown = std::move(line);
}

void ProgressBar::writeLogLine(const MergeProgress& progress) {
    if (progress.elapsedSeconds < quietSeconds || progress.exposure == loggedExposure) return;
    loggedExposure = progress.exposure;
    std::fputs(progressLogLine(progress).c_str(), stream);
    std::fflush(stream);
}

void ProgressBar::finish() {
    if (shown.empty()) return;
    if (stream == stderr)
        endOpenStandardErrorLine();
    else
        std::fputc('\n', stream);
    std::fflush(stream);
    shown.clear();
}

} // namespace tl
