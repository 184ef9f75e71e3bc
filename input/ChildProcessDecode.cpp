#include "input/ChildProcessDecode.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>

namespace {

using Clock = std::chrono::steady_clock;

// What precedes the pixels in the pipe. rows == 0 means that decode gave no image.
struct ImageHeader {
    std::int32_t rows;
    std::int32_t cols;
    std::int32_t type;
};

bool writeAll(int fd, const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        data += written;
        size -= std::size_t(written);
    }
    return true;
}

// The child's whole life. It leaves by _exit: flushing stdio buffers copied from the
// parent would write the parent's pending output a second time.
[[noreturn]] void runChild(int out, const std::function<cv::Mat()>& decode) {
    ::dup2(STDERR_FILENO, STDOUT_FILENO);
    // A decoder that crashes must not leave a core file behind in the working folder.
    const rlimit noCoreFile{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCoreFile);
    cv::Mat image;
    try {
        image = decode();
    } catch (...) {
        ::_exit(2);
    }
    if (!image.empty() && !image.isContinuous()) image = image.clone();
    const ImageHeader header{image.rows, image.cols, image.type()};
    const bool sent =
        writeAll(out, reinterpret_cast<const unsigned char*>(&header), sizeof header) &&
        writeAll(out, image.data, image.total() * image.elemSize());
    ::_exit(sent ? 0 : 1);
}

// Reads exactly size bytes unless the child closes the pipe or the deadline passes.
bool readAll(int fd, unsigned char* data, std::size_t size, Clock::time_point deadline) {
    while (size > 0) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, int(std::min<long long>(left.count(), 60'000)));
        if (polled < 0 && errno == EINTR) continue;
        if (polled < 0) return false;
        if (polled == 0) continue;
        const ssize_t got = ::read(fd, data, size);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        data += got;
        size -= std::size_t(got);
    }
    return true;
}

// A header that a sound child can have sent: anything else means the child went wrong
// and its figures must not size an allocation.
bool isPlausible(const ImageHeader& header) {
    if (header.rows == 0 && header.cols == 0) return true;
    return header.rows > 0 && header.cols > 0 && header.type >= 0 && header.type <= CV_64FC4 &&
           CV_MAT_DEPTH(header.type) <= CV_64F;
}

// The child's image, or an empty image when it did not arrive whole and in time.
cv::Mat receiveImage(int fd, Clock::time_point deadline, bool& complete) {
    ImageHeader header{};
    complete = readAll(fd, reinterpret_cast<unsigned char*>(&header), sizeof header, deadline) &&
               isPlausible(header);
    if (!complete || header.rows == 0) return cv::Mat();
    cv::Mat image;
    try {
        image.create(header.rows, header.cols, header.type);
    } catch (const std::exception&) {
        complete = false; // no room for it here: the child is killed and reaped all the same
        return cv::Mat();
    }
    complete = readAll(fd, image.data, image.total() * image.elemSize(), deadline);
    return complete ? image : cv::Mat();
}

bool exitedCleanly(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

cv::Mat decodeInChildProcess(const std::function<cv::Mat()>& decode,
                             std::chrono::milliseconds timeLimit) {
    const auto deadline = Clock::now() + timeLimit;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return cv::Mat();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(fds[0]);
        runChild(fds[1], decode);
    }
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return cv::Mat();
    }
    bool complete = false;
    cv::Mat image = receiveImage(fds[0], deadline, complete);
    ::close(fds[0]);
    if (!complete) ::kill(child, SIGKILL);
    const bool clean = exitedCleanly(child);
    return complete && clean ? image : cv::Mat();
}
