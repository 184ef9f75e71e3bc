#include "output/ImageWriter.hpp"

#include "common/FileExtension.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/DevilWriter.hpp"
#include "output/MetadataCopy.hpp"
#include "output/OpenCvWriter.hpp"
#include "output/RadianceWriter.hpp"
#include "output/ReplacingFile.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace tl {

namespace {

bool isRadianceCandidate(const std::string& path, const cv::Mat& image) {
    return hasExtension(path, ".hdr") && image.channels() == 3;
}

// Only plain two-dimensional images have rows and columns to write.
bool isWritable(const cv::Mat& image) { return !image.empty() && image.dims == 2; }

bool writeWithFirstWorkingWriter(const std::string& path, const cv::Mat& image, const PassedOver& passedOver) {
    if (isRadianceCandidate(path, image) && writeRadiance(path, convertBitDepth(image, 32))) return true;
    if (writeWithOpenCv(path, image)) return true;
    return writeWithDevil(path, image, passedOver);
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

// Writes the image (not empty) into the file at path with the first writer that takes it;
// why none did, or nothing when one did.
std::optional<std::string> whyNotWritten(const std::string& path, const cv::Mat& image,
                                         const PassedOver& passedOver) {
    errno = 0;
    if (writeWithFirstWorkingWriter(path, image, passedOver) && !bytesWereRefused(errno)) return std::nullopt;
    return writersFailure(errno);
}

[[noreturn]] void fail(const std::string& path, const std::string& reason) {
    throw StepFailure({Failure::Code::imageUnwritable, path, reason});
}

// A complete image without the tags it should carry is still written: the missing tags
// are a fault passed over that names the file by its own name.
void copyTags(const std::string& source, const std::string& written, const std::string& keyword,
              const std::string& path, const PassedOver& passedOver) {
    const TagCopyOutcome outcome = copyMetadata(source, written, keyword);
    if (outcome.end != TagCopyOutcome::End::failed || !passedOver) return;
    passedOver({Failure::Code::tagsNotCopied, path,
                "The tags of '" + source + "' could not be copied into '" + path + "': " + outcome.reason +
                    "; the image is written without them."});
}

} // namespace

void writeImage(const std::string& path, cv::InputArray input, const std::string& metadataSource,
                const std::string& keyword, const PassedOver& passedOver) {
    const cv::Mat image = input.getMat();
    if (!isWritable(image)) fail(path, "the image is empty");
    ReplacingFile file(path);
    if (!file.ready()) fail(path, file.failure());
    // The report names path: the temporary file's name means nothing to the reader.
    if (const std::optional<std::string> why = whyNotWritten(file.path(), image, passedOver)) fail(path, *why);
    if (!metadataSource.empty()) copyTags(metadataSource, file.path(), keyword, path, passedOver);
    if (!file.commit()) fail(path, file.failure());
}

void writeImageFile(const std::string& path, const cv::Mat& image, const PassedOver& passedOver) {
    if (!isWritable(image)) fail(path, "the image is empty");
    if (const std::optional<std::string> why = whyNotWritten(path, image, passedOver)) fail(path, *why);
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

} // namespace tl
