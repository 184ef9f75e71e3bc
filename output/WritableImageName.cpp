#include "output/WritableImageName.hpp"

#include "common/PrivateFolder.hpp"
#include "output/BitDepthConversion.hpp"
#include "output/ImageWriter.hpp"
#include "output/OpenCvWriter.hpp"

#include <opencv2/core.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace tl {

namespace {

// Every extension one of the writers knows: the Radiance writer's, OpenCV's and DevIL's.
const char* const knownExtensions[] = {".bmp", ".dds", ".dib", ".exr", ".hdr", ".jp2", ".jpe",  ".jpeg",
                                       ".jpg", ".pbm", ".pcx", ".pfm", ".pgm", ".pic", ".png",  ".pnm",
                                       ".ppm", ".psd", ".ras", ".rgb", ".sgi", ".sr",  ".tga",  ".tif",
                                       ".tiff", ".webp"};

// A small colour gradient, the kind of image the programs write, as the merge makes it
// (large enough for the JPEG 2000 coder's levels of detail).
cv::Mat probeImage() {
    constexpr int side = 64;
    cv::Mat image(side, side, CV_32FC3);
    image.forEach<cv::Vec3f>([](cv::Vec3f& pixel, const int* at) {
        pixel = cv::Vec3f(static_cast<float>(at[0]) / side, static_cast<float>(at[1]) / side, 0.5f);
    });
    return image;
}

// OpenCV's writers say on standard error why they refuse a file: for a probe the refusal
// is the answer, not news for the user. Standard error goes to /dev/null meanwhile (the
// probes run before any thread of the program's is started).
class QuietStandardError {
public:
    QuietStandardError() : saved(dup(STDERR_FILENO)) {
        std::fflush(stderr);
        const int nothing = open("/dev/null", O_WRONLY);
        if (nothing >= 0) {
            dup2(nothing, STDERR_FILENO);
            close(nothing);
        }
    }
    ~QuietStandardError() {
        std::fflush(stderr);
        if (saved < 0) return;
        dup2(saved, STDERR_FILENO);
        close(saved);
    }
    QuietStandardError(const QuietStandardError&) = delete;
    QuietStandardError& operator=(const QuietStandardError&) = delete;

private:
    int saved;
};

bool writerTakes(const std::string& folder, const std::string& extension, int bitsPerChannel) {
    const std::string probe = folder + "/probe" + extension;
    const QuietStandardError quiet;
    try {
        writeImageFile(probe, convertBitDepth(probeImage(), bitsTheFormatHolds(probe, bitsPerChannel)));
        return true;
    } catch (const StepFailure&) {
        return false;
    }
}

} // namespace

int bitsTheFormatHolds(const std::string& path, int bitsPerChannel) {
    return bitsPerChannel == 16 && namesEightBitOpenCvFormat(path) ? 8 : bitsPerChannel;
}

bool isWritableImageName(const std::string& path, int bitsPerChannel) {
    const std::string extension = std::filesystem::path(path).extension().string();
    if (extension.size() < 2) return false;
    const PrivateFolder folder("tl-writer-probe");
    return !folder.path().empty() && writerTakes(folder.path(), extension, bitsPerChannel);
}

std::vector<std::string> writableExtensions(int bitsPerChannel) {
    const PrivateFolder folder("tl-writer-probe");
    std::vector<std::string> extensions;
    for (const char* extension : knownExtensions)
        if (!folder.path().empty() && writerTakes(folder.path(), extension, bitsPerChannel))
            extensions.push_back(extension);
    return extensions;
}

} // namespace tl
