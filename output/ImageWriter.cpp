#include "output/ImageWriter.hpp"

#include "common/FileExtension.hpp"
#include "diag/Log.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/DevilWriter.hpp"
#include "output/MetadataCopy.hpp"
#include "output/OpenCvWriter.hpp"
#include "output/RadianceWriter.hpp"
#include "output/ReplacingFile.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

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

// Whether the system refused bytes that a writer wrote: some writers (DevIL's, for one)
// do not look at what their writes return and report a cut-off file as written.
bool bytesWereRefused(int error) { return error == ENOSPC || error == EFBIG || error == EDQUOT || error == EIO; }

// Why no writer wrote: the system's word when the disk refused the bytes, otherwise the
// image or the name itself.
std::string writersFailure(int error) {
    if (bytesWereRefused(error)) return std::strerror(error);
    return "no writer takes this image under this name (its format or element type)";
}

void tell(std::string* failure, const std::string& reason) {
    if (failure) *failure = reason;
}

// A complete image without the tags it should carry is still written: the missing tags
// are a warning that names the file by its own name.
void copyTags(const std::string& source, const std::string& written, const std::string& keyword,
              const std::string& path) {
    const TagCopyOutcome outcome = copyMetadata(source, written, keyword);
    if (outcome.end != TagCopyOutcome::End::failed) return;
    reportWarning("main", "The tags of '" + source + "' could not be copied into '" + path + "': " + outcome.reason +
                              "; the image is written without them.");
}

} // namespace

bool writeImage(const std::string& path, cv::InputArray input, const std::string& metadataSource,
                const std::string& keyword, std::string* failure) {
    const cv::Mat image = input.getMat();
    if (!isWritable(image)) {
        tell(failure, "the image is empty");
        return false;
    }
    ReplacingFile file(path);
    if (!file.ready()) {
        tell(failure, file.failure());
        return false;
    }
    if (!writeImageFile(file.path(), image, failure)) return false;
    if (!metadataSource.empty()) copyTags(metadataSource, file.path(), keyword, path);
    if (file.commit()) return true;
    tell(failure, file.failure());
    return false;
}

bool writeImageFile(const std::string& path, const cv::Mat& image, std::string* failure) {
    if (!isWritable(image)) {
        tell(failure, "the image is empty");
        return false;
    }
    errno = 0;
    if (writeWithFirstWorkingWriter(path, image) && !bytesWereRefused(errno)) return true;
    tell(failure, writersFailure(errno));
    return false;
}

bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}

bool takesPlainOpenCvWriter(const std::string& path, const cv::Mat& image) {
    return isWritable(image) && !isRadianceCandidate(path, image) && image.depth() <= CV_16S &&
           !hasExtension(path, ".exr");
}
