#include "extract/FrameListFile.hpp"

#include "common/PlainFile.hpp"
#include "extract/ListFileName.hpp"
#include "output/ReplacingFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>

namespace tl {

namespace fs = std::filesystem;

namespace {

// Writes bytes into the regular file at path (appending, or as its whole content).
bool writeText(const std::string& path, bool append, const std::string& bytes) {
    std::FILE* file = openPlainFileForWriting(path, append);
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

std::string folderOf(const std::string& path) {
    const fs::path parent = fs::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

bool copyInto(char (&target)[PATH_MAX], const std::string& text) {
    if (text.size() >= PATH_MAX) return false;
    std::memcpy(target, text.c_str(), text.size() + 1);
    return true;
}

// From here to completeList: async-signal-safe calls only (open, read, write, lseek,
// fstat, fchmod, close, rename, unlink).

// The number of line ends in the file, and where the first one is (-1: none).
struct LineEnds {
    long long count = 0;
    off_t first = -1;
};

LineEnds countLineEnds(int file) {
    LineEnds ends;
    char buffer[4096];
    off_t at = 0;
    for (ssize_t read; (read = ::read(file, buffer, sizeof buffer)) > 0; at += read)
        for (ssize_t i = 0; i < read; ++i)
            if (buffer[i] == '\n' && ends.count++ == 0) ends.first = at + i;
    return ends;
}

bool writeNumber(int file, long long number) {
    char digits[24];
    int at = sizeof digits;
    do {
        digits[--at] = static_cast<char>('0' + number % 10);
        number /= 10;
    } while (number > 0);
    return writeWhole(file, digits + at, sizeof digits - static_cast<std::size_t>(at));
}

// Writes the count of lines and then every line of the list in into out.
bool writeCompleted(int in, int out) {
    const LineEnds ends = countLineEnds(in);
    if (!writeNumber(out, ends.count)) return false;
    if (ends.first < 0) return true;
    if (lseek(in, ends.first, SEEK_SET) < 0) return false;
    char buffer[4096];
    ssize_t read;
    while ((read = ::read(in, buffer, sizeof buffer)) > 0)
        if (!writeWhole(out, buffer, static_cast<std::size_t>(read))) return false;
    return read == 0;
}

// The list rewritten with its count equal to its lines, put in place by a rename.
void completeList(const void* context) {
    const auto* names = static_cast<const FrameListFile::Names*>(context);
    const int in = open(names->list, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (in < 0) return;
    struct stat status {};
    const int out = open(names->temporary, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (out < 0) {
        close(in);
        return;
    }
    bool done = fstat(in, &status) == 0 && S_ISREG(status.st_mode) && writeCompleted(in, out);
    done = fchmod(out, status.st_mode & 07777) == 0 && done;
    done = close(out) == 0 && done;
    close(in);
    if (!done || rename(names->temporary, names->list) != 0) unlink(names->temporary);
}

} // namespace

FrameListFile::FrameListFile(std::string path) : path(std::move(path)) {}

void FrameListFile::start(std::int64_t plannedCount) {
    started = write(false, std::to_string(plannedCount));
    lines.clear();
    count = 0;
    if (started && !completion) completeOnSignal();
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
    const RemovedOnSignal::Creation untilWritten;
    ReplacingFile file(path);
    if (file.ready() && writeText(file.path(), false, std::to_string(count) + lines)) file.commit();
}

// Each write is one step that a signal waits for, and none begins once a signal is ending
// the process, so that the signal finds the list as the last write left it.
bool FrameListFile::write(bool append, const std::string& bytes) const {
    if (path.empty()) return false;
    const RemovedOnSignal::Creation untilWritten;
    return writeText(path, append, bytes);
}

void FrameListFile::completeOnSignal() {
    const std::string temporary = folderOf(path) + "/.tl-" + std::to_string(getpid()) + ".list";
    if (copyInto(names.list, path) && copyInto(names.temporary, temporary))
        completion.emplace(RemovedOnSignal::LastStep{completeList, &names});
}

} // namespace tl
