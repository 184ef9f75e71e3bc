#include "input/ImagePipe.hpp"

#include "common/PlainFile.hpp"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <exception>

namespace tl {

namespace {

using Clock = std::chrono::steady_clock;

struct ImageHeader {
    std::int32_t rows;
    std::int32_t cols;
    std::int32_t type;
};

// Reads exactly size bytes unless the sender closes the pipe or the deadline passes.
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

bool isPlausible(const ImageHeader& header) {
    if (header.rows == 0 && header.cols == 0) return true;
    return header.rows > 0 && header.cols > 0 && header.type >= 0 && header.type <= CV_64FC4 &&
           CV_MAT_DEPTH(header.type) <= CV_64F;
}

} // namespace

bool sendImage(int fd, const cv::Mat& image) {
    const cv::Mat whole = image.empty() || image.isContinuous() ? image : image.clone();
    const ImageHeader header{whole.rows, whole.cols, whole.empty() ? 0 : whole.type()};
    return writeWhole(fd, &header, sizeof header) &&
           writeWhole(fd, whole.data, whole.total() * whole.elemSize());
}

ReceivedImage receiveImage(int fd, Clock::time_point deadline) {
    ImageHeader header{};
    if (!readAll(fd, reinterpret_cast<unsigned char*>(&header), sizeof header, deadline) || !isPlausible(header))
        return {};
    if (header.rows == 0) return {cv::Mat(), true};
    cv::Mat image;
    try {
        image.create(header.rows, header.cols, header.type);
    } catch (const std::exception&) {
        return {};
    }
    if (!readAll(fd, image.data, image.total() * image.elemSize(), deadline)) return {};
    return {image, true};
}

} // namespace tl
