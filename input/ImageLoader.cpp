#include "input/ImageLoader.hpp"

#include "common/ExceptionCause.hpp"
#include "common/FileExtension.hpp"
#include "common/FindString.hpp"
#include "input/DecoderProcess.hpp"
#include "input/DevilImageLoader.hpp"
#include "input/FusionDepth.hpp"
#include "input/JpegCompleteness.hpp"
#include "input/RadianceHeader.hpp"
#include "input/RawImageDecoder.hpp"

#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace tl {

namespace {

// Long enough for a decoder in the decoder program to read any sane file; one still busy
// after this is taken to hang on a malformed file.
// The fuzz target builds with a shorter limit so that such files do not stall it.
#ifndef TL_CHILD_DECODE_TIME_LIMIT_SECONDS
#define TL_CHILD_DECODE_TIME_LIMIT_SECONDS 30
#endif
constexpr std::chrono::seconds decoderTimeLimit{TL_CHILD_DECODE_TIME_LIMIT_SECONDS};

// High-dynamic-range files that OpenCV reads at their own depth instead of squeezing
// them to 8 bits.
const std::string highDynamicRangeExtensions[4] = {"hdr", "pic", "exr", "pfm"};

bool hasHighDynamicRangeExtension(const std::string& path) {
    return findString(lowerCaseExtension(path), highDynamicRangeExtensions, 4) >= 0;
}

// The pixels are taken as stored: the written result carries the source's Orientation
// tag, so turning them here as well would turn the result twice in every viewer.
int openCvFlags(const std::string& path, InputDepth depth) {
    int flags = cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION;
    if (depth == InputDepth::own || hasHighDynamicRangeExtension(path)) flags |= cv::IMREAD_ANYDEPTH;
    return flags;
}

// cv::imread, with the refusals it throws (a header declaring a size beyond its limits)
// turned into an empty image. Running out of memory is thrown on.
cv::Mat readWithOpenCv(const std::string& path, int flags) {
    try {
        return cv::imread(path, flags);
    } catch (const cv::Exception& refusal) {
        if (isMemoryFailure(refusal)) throw;
    }
    return cv::Mat();
}

// Radiance files are OpenCV's alone. Its reader allocates the size the header declares,
// so an absurd one is refused here first. It leaves its file open when the file turns out
// malformed, one descriptor lost for good per file; in the decoder program the loss ends with
// the decoder program. DevIL's reader never gets these files: it loops on negative sizes
// until the time limit ends it, and turns a size of 0 or a short file into rows it never
// wrote.
LoadedImage readRadiance(const std::string& path) {
    if (!declaresDecodableRadianceSize(path)) return {cv::Mat(), "its header declares no size that can be read"};
    return decodeInDecoderProgram(Decoder::radiance, path, decoderTimeLimit);
}

LoadedImage readWithDevil(const std::string& path) {
    if (!devilVersionSupported()) return {cv::Mat(), "the installed DevIL is older than version 1.7.8"};
    return decodeInDecoderProgram(Decoder::devil, path, decoderTimeLimit);
}

// The whole file when it begins like a JPEG, otherwise its first bytes only.
std::string jpegBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::string start(3, '\0');
    file.read(start.data(), 3);
    if (start != "\xFF\xD8\xFF") return start;
    return start + std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

// Why OpenCV, which knows the file's signature, made no image of it.
std::string openCvRefusal(const std::string& path, InputDepth depth) {
    if (depth == InputDepth::eightBit && !readWithOpenCv(path, openCvFlags(path, InputDepth::own)).empty())
        return "its samples cannot be read at 8 bits per channel, as a call by position reads images";
    return "the image library cannot decode it: it is damaged or cut short";
}

// A file whose signature OpenCV knows is OpenCV's alone: what it refuses, DevIL would only
// misread, or loop on until the time limit (a cut PNG).
LoadedImage readDecoded(const std::string& path, InputDepth depth) {
    if (hasRadianceSignature(path)) return readRadiance(path);
    cv::Mat image = readWithOpenCv(path, openCvFlags(path, depth));
    if (!image.empty()) {
        if (isCutShortJpeg(jpegBytes(path))) return {cv::Mat(), "it is cut short"};
        return {image, ""};
    }
    if (cv::haveImageReader(path)) return {cv::Mat(), openCvRefusal(path, depth)};
    return readWithDevil(path);
}

// Folders, pipes and devices are never images, and reading a pipe could block for ever.
bool isRegularFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error);
}

} // namespace

LoadedImage loadImage(const std::string& path, InputDepth depth) {
    if (!isRegularFile(path)) return {};
    if (hasRawExtension(path)) return decodeRawImage(path);
    LoadedImage loaded = readDecoded(path, depth);
    loaded.image = toFusionDepth(loaded.image);
    return loaded;
}

} // namespace tl
