#include "output/OpenCvWriter.hpp"

#include "common/FileExtension.hpp"
#include "output/BitDepthConversion.hpp"

#include <opencv2/imgcodecs.hpp>

#include <exception>
#include <vector>

namespace tl {

namespace {

bool namesFloatFormat(const std::string& path) {
    return hasExtension(path, ".tif") || hasExtension(path, ".tiff") || hasExtension(path, ".exr") ||
           hasExtension(path, ".pfm");
}

// Lossless LZW for TIFF: OpenCV's default coding of three-channel float TIFF is lossy.
std::vector<int> floatParameters(const std::string& path) {
    if (hasExtension(path, ".tif") || hasExtension(path, ".tiff")) return {cv::IMWRITE_TIFF_COMPRESSION, 5};
    return {};
}

} // namespace

bool writeWithOpenCv(const std::string& path, const cv::Mat& image) {
    try {
        if (image.depth() == CV_32F && namesFloatFormat(path)) return cv::imwrite(path, image, floatParameters(path));
        if (image.depth() > CV_16S) return false;
        // EXR holds float samples only.
        if (hasExtension(path, ".exr")) return cv::imwrite(path, convertBitDepth(image, 32));
        return cv::imwrite(path, image);
    } catch (const std::exception&) {
        return false;
    }
}

bool namesEightBitOpenCvFormat(const std::string& path) {
    for (const char* extension : {".jpg", ".jpeg", ".jpe", ".bmp", ".dib", ".webp", ".ras", ".sr"})
        if (hasExtension(path, extension)) return true;
    return false;
}

} // namespace tl
