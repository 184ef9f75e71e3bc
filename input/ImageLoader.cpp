#include "input/ImageLoader.hpp"

#include "common/FileExtension.hpp"
#include "common/FindString.hpp"
#include "common/RawExtensions.hpp"
#include "input/ChildProcessDecode.hpp"
#include "input/DevilImageLoader.hpp"
#include "input/FusionDepth.hpp"
#include "input/RadianceHeader.hpp"
#include "input/RawImageDecoder.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>

namespace {

// Long enough for a decoder in a child process to read any sane file; one still busy
// after this is taken to hang on a malformed file.
// The fuzz target builds with a shorter limit so that such files do not stall it.
#ifndef TL_CHILD_DECODE_TIME_LIMIT_SECONDS
#define TL_CHILD_DECODE_TIME_LIMIT_SECONDS 30
#endif
constexpr std::chrono::seconds childDecodeTimeLimit{TL_CHILD_DECODE_TIME_LIMIT_SECONDS};

// High-dynamic-range files that OpenCV reads at their own depth instead of squeezing
// them to 8 bits.
const std::string highDynamicRangeExtensions[4] = {"hdr", "pic", "exr", "pfm"};

bool hasHighDynamicRangeExtension(const std::string& path) {
    return findString(lowerCaseExtension(path), highDynamicRangeExtensions, 4) >= 0;
}

// The pixels are taken as stored: the written result carries the source's Orientation
// tag, so turning them here as well would turn the result twice in every viewer.
int openCvFlags(const std::string& path) {
    int flags = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;
    if (hasHighDynamicRangeExtension(path)) flags |= cv::IMREAD_ANYDEPTH;
    return flags;
}

// Radiance files are OpenCV's alone. Its reader allocates the size the header declares,
// so an absurd one is refused here first. It leaves its file open when the file turns out
// malformed, one descriptor lost for good per file; in a child process the loss ends with
// the child. DevIL's reader never gets these files: it loops on negative sizes until the
// time limit ends it, and turns a size of 0 or a short file into rows it never wrote.
cv::Mat readRadiance(const std::string& path) {
    if (!declaresDecodableRadianceSize(path)) return cv::Mat();
    const int flags = openCvFlags(path);
    return decodeInChildProcess([&path, flags] { return cv::imread(path, flags); }, childDecodeTimeLimit);
}

cv::Mat readWithDevil(const std::string& path) {
    cv::Mat image = decodeInChildProcess([&path] { return loadDevilImage(path); }, childDecodeTimeLimit);
    if (image.empty() || devilVersionSupported()) return image;
    std::printf("DevIL version is different...exiting!\n");
    return cv::Mat();
}

cv::Mat readDecoded(const std::string& path) {
    if (hasRadianceSignature(path)) return readRadiance(path);
    cv::Mat image = cv::imread(path, openCvFlags(path));
    if (image.rows != 0 && image.cols != 0) return image;
    return readWithDevil(path);
}

// Folders, pipes and devices are never images, and reading a pipe could block for ever.
bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

cv::Mat loadImage(const std::string& path) {
    if (!isRegularFile(path)) return cv::Mat();
    if (hasRawExtension(path)) return decodeRawImage(path);
    return toFusionDepth(readDecoded(path));
}
