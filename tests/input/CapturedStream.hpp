#pragma once

#include "tests/support/TempFolder.hpp"

#include <unistd.h>

#include <cstdio>
#include <string>

namespace tl {

// Sends everything written on one of this process's standard streams (file descriptor
// 1 or 2) into a file while the object lives; text() reads what arrived so far.
class CapturedStream {
public:
    explicit CapturedStream(int fd) : fd(fd), saved(::dup(fd)) {
        std::fflush(nullptr);
        std::FILE* target = std::fopen(folder.file("captured").c_str(), "w");
        ::dup2(::fileno(target), fd);
        std::fclose(target);
    }
    ~CapturedStream() {
        std::fflush(nullptr);
        ::dup2(saved, fd);
        ::close(saved);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    std::string text() const {
        std::fflush(nullptr);
        return readFile(folder.file("captured"));
    }

private:
    TempFolder folder;
    int fd;
    int saved;
};

} // namespace tl
