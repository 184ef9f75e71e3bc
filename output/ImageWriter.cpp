#include "output/ImageWriter.hpp"

#include "common/FileExtension.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/DevilWriter.hpp"
#include "output/MetadataCopy.hpp"
#include "output/OpenCvWriter.hpp"
#include "output/RadianceWriter.hpp"

#include <cstdio>
#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;

bool isRadianceCandidate(const std::string& path, const cv::Mat& image) {
    return hasExtension(path, ".hdr") && image.channels() == 3;
}

// Only plain two-dimensional images have rows and columns to write.
bool isWritable(const cv::Mat& image) { return !image.empty() && image.dims == 2; }

bool writeWithFirstWorkingWriter(const std::string& path, const cv::Mat& image) {
    if (isRadianceCandidate(path, image) && writeRadiance(path, convertBitDepth(image, 32))) return true;
    if (writeWithOpenCv(path, image)) return true;
    return writeWithDevil(path, image);
}

// What was at the path before a write, to tell its leftovers from a file that it did not
// touch.
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

// Runs write; when it fails, removes the empty or partial file that it left. A file that
// was there before and that the write did not change stays.
bool writeWithoutLeftover(const std::string& path, const std::function<bool()>& write) {
    const FileState before = fileState(path);
    if (write()) return true;
    const FileState after = fileState(path);
    if (!after.regular) return false;
    if (before.regular && before.size == after.size && before.modified == after.modified) return false;
    std::error_code ignored;
    fs::remove(path, ignored);
    return false;
}

} // namespace

bool writeImage(const std::string& path, cv::InputArray input, const std::string& metadataSource,
                const std::string& keyword) {
    if (!writeImageFile(path, input.getMat())) return false;
    if (!metadataSource.empty()) copyMetadata(metadataSource, path, keyword);
    return true;
}

bool writeImageFile(const std::string& path, const cv::Mat& image) {
    if (!isWritable(image)) return false;
    return writeWithoutLeftover(path, [&] { return writeWithFirstWorkingWriter(path, image); });
}

bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    return writeWithoutLeftover(path, [&] {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file) return false;
        const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
        return std::fclose(file) == 0 && written;
    });
}

bool takesPlainOpenCvWriter(const std::string& path, const cv::Mat& image) {
    return isWritable(image) && !isRadianceCandidate(path, image) && image.depth() <= CV_16S &&
           !hasExtension(path, ".exr");
}
