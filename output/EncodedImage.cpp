#include "output/EncodedImage.hpp"

#include "common/FileExtension.hpp"
#include "output/ImageWriter.hpp"
#include "output/JpegEncoder.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cerrno>
#include <cstring>
#include <exception>

namespace tl {

namespace {

// The names that OpenCV's JPEG writer takes.
bool namesJpeg(const std::string& path) {
    return hasExtension(path, ".jpg") || hasExtension(path, ".jpeg") || hasExtension(path, ".jpe");
}

} // namespace

std::vector<unsigned char> encodeImage(const std::string& path, const cv::Mat& image) {
    std::vector<unsigned char> bytes;
    if (!takesPlainOpenCvWriter(path, image)) return bytes;
    if (namesJpeg(path)) {
        bytes = encodeBgrJpeg(image);
        if (!bytes.empty()) return bytes;
    }
    try {
        // The encoder is chosen by the name's extension, as when writing to the file.
        if (!cv::imencode(path, image, bytes)) bytes.clear();
    } catch (const std::exception&) {
        bytes.clear();
    }
    return bytes;
}

void writeEncodedImage(const std::string& path, const std::vector<unsigned char>& encoded, const cv::Mat& image) {
    if (encoded.empty()) return writeImageFile(path, image);
    errno = 0;
    if (!writeFileBytes(path, encoded))
        throw StepFailure({Failure::Code::imageUnwritable, path, std::strerror(errno != 0 ? errno : EIO)});
}

} // namespace tl
