#include "output/ImageWriter.hpp"

#include "output/BitDepthConversion.hpp"
#include "output/DevilImage.hpp"
#include "output/FileExtension.hpp"
#include "output/JpegEncoder.hpp"
#include "output/MetadataCopy.hpp"
#include "output/RadianceWriter.hpp"

#include <IL/il.h>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <vector>

namespace {

namespace fs = std::filesystem;

bool isRadianceCandidate(const std::string& path, const cv::Mat& image) {
    return hasExtension(path, ".hdr") && image.channels() == 3;
}

// DevIL cannot write float TIFF (it labels raw float bits as integers), EXR or PFM, so
// float images with these names go to OpenCV, which writes real float files.
bool namesFloatFormat(const std::string& path) {
    return hasExtension(path, ".tif") || hasExtension(path, ".tiff") || hasExtension(path, ".exr") ||
           hasExtension(path, ".pfm");
}

// Lossless LZW for TIFF: OpenCV's default coding of three-channel float TIFF is lossy.
std::vector<int> floatParameters(const std::string& path) {
    if (hasExtension(path, ".tif") || hasExtension(path, ".tiff"))
        return {cv::IMWRITE_TIFF_COMPRESSION, 5};
    return {};
}

// Whether writeImage hands image to OpenCV's writer for the name, as it is: not a
// Radiance file, not float and not EXR (which needs float samples).
bool takesPlainOpenCvWriter(const std::string& path, const cv::Mat& image) {
    return !isRadianceCandidate(path, image) && image.depth() <= CV_16S && !hasExtension(path, ".exr");
}

bool writeWithOpenCv(const std::string& path, const cv::Mat& image) {
    try {
        if (image.depth() == CV_32F && namesFloatFormat(path))
            return cv::imwrite(path, image, floatParameters(path));
        if (image.depth() > CV_16S) return false;
        // EXR holds float samples only.
        if (hasExtension(path, ".exr")) return cv::imwrite(path, convertBitDepth(image, 32));
        return cv::imwrite(path, image);
    } catch (const std::exception&) {
        return false;
    }
}

bool writeWithDevil(const std::string& path, const cv::Mat& image) {
    const int name = toDevilImage(image);
    if (name < 0) return false;
    ilEnable(IL_FILE_OVERWRITE);
    const bool saved = ilSaveImage(path.c_str()) == IL_TRUE;
    const ILuint devilName = static_cast<ILuint>(name);
    ilDeleteImages(1, &devilName);
    // DevIL keeps its errors on a stack of its own; drop them so that they do not pile up.
    while (ilGetError() != IL_NO_ERROR) {
    }
    return saved;
}

bool writeWithFirstWorkingWriter(const std::string& path, const cv::Mat& image) {
    if (isRadianceCandidate(path, image) && writeRadiance(path, convertBitDepth(image, 32))) return true;
    if (writeWithOpenCv(path, image)) return true;
    return writeWithDevil(path, image);
}

// What was at the path before the writers ran, to tell their leftovers from a file
// that none of them touched.
struct FileState {
    bool regular = false;
    std::uintmax_t size = 0;
    fs::file_time_type modified;
};

FileState fileState(const std::string& path) {
    FileState state;
    std::error_code error;
    state.regular = fs::is_regular_file(fs::symlink_status(path, error));
    if (state.regular) {
        state.size = fs::file_size(path, error);
        state.modified = fs::last_write_time(path, error);
    }
    return state;
}

// Removes an empty or partial file that a failed writer left. A file that was there
// before and that no writer changed stays.
void removeLeftover(const std::string& path, const FileState& before) {
    const FileState after = fileState(path);
    if (!after.regular) return;
    if (before.regular && before.size == after.size && before.modified == after.modified) return;
    std::error_code ignored;
    fs::remove(path, ignored);
}

// The names that OpenCV's JPEG writer takes.
bool namesJpeg(const std::string& path) {
    return hasExtension(path, ".jpg") || hasExtension(path, ".jpeg") || hasExtension(path, ".jpe");
}

// Only plain two-dimensional images have rows and columns to write.
bool isWritable(const cv::Mat& image) { return !image.empty() && image.dims == 2; }

bool writeImageFile(const std::string& path, const cv::Mat& image) {
    if (!isWritable(image)) return false;
    const FileState before = fileState(path);
    if (writeWithFirstWorkingWriter(path, image)) return true;
    removeLeftover(path, before);
    return false;
}

bool writeBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

} // namespace

bool writeImage(const std::string& path, cv::InputArray input, const std::string& metadataSource,
                const std::string& keyword) {
    if (!writeImageFile(path, input.getMat())) return false;
    if (!metadataSource.empty()) copyMetadata(metadataSource, path, keyword);
    return true;
}

std::vector<unsigned char> encodeImage(const std::string& path, const cv::Mat& image) {
    std::vector<unsigned char> bytes;
    if (!isWritable(image) || !takesPlainOpenCvWriter(path, image)) return bytes;
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

bool writeEncodedImage(const std::string& path, const std::vector<unsigned char>& encoded,
                       const cv::Mat& image) {
    if (encoded.empty()) return writeImageFile(path, image);
    const FileState before = fileState(path);
    if (writeBytes(path, encoded)) return true;
    removeLeftover(path, before);
    return writeImageFile(path, image);
}

bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath) {
    return writeImage(outputPath, convertBitDepth(image, bitsPerChannel), instantImagePath, "Tessaline");
}
