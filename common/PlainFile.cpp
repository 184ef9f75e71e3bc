#include "common/PlainFile.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace tl {

namespace {

// The descriptor when it is a regular file; closed and -1 otherwise.
int keepIfRegular(int descriptor) {
    if (descriptor < 0) return -1;
    struct stat status {};
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) return descriptor;
    close(descriptor);
    errno = EINVAL;
    return -1;
}

} // namespace

std::FILE* openPlainFileForWriting(const std::string& path, bool append) {
    if (path.empty()) return nullptr;
    const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    // A regular file is opened even when it exists, whatever O_NONBLOCK says; a FIFO
    // without a reader fails at once, and one with a reader is closed again below. Truncation
    // happens at the open, which for anything but a regular file does nothing.
    const int descriptor = keepIfRegular(open(path.c_str(), flags, 0666));
    if (descriptor < 0) return nullptr;
    fcntl(descriptor, F_SETFL, fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    std::FILE* file = fdopen(descriptor, append ? "a" : "w");
    if (!file) close(descriptor);
    return file;
}

bool isReadablePlainFile(const std::string& path) {
    const int descriptor = keepIfRegular(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (descriptor < 0) return false;
    close(descriptor);
    return true;
}

bool isExecutableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}

bool writeWhole(int descriptor, const void* bytes, std::size_t size) {
    const char* next = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(descriptor, next, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        next += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

} // namespace tl
