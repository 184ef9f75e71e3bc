#include "input/RawImageDecoder.hpp"

#include <libraw/libraw.h>
#include <opencv2/imgproc.hpp>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace tl {

namespace {

// LibRaw prints nothing of its own: the decoder's diagnostics travel with the result.
const std::string cannotDecode = "the raw decoder cannot develop it";

// Why the file cannot be handed to LibRaw; empty when it can. Only a regular file is: a
// folder gives nothing to decode and a pipe or device could block the read for ever.
std::string undecodableFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) return std::string("it cannot be opened: ") + std::strerror(errno);
    if (!S_ISREG(status.st_mode)) return cannotDecode;
    return "";
}

struct ProcessedImageRelease {
    void operator()(libraw_processed_image_t* image) const { LibRaw::dcraw_clear_mem(image); }
};
using ProcessedImage = std::unique_ptr<libraw_processed_image_t, ProcessedImageRelease>;

// The development that "dcraw -T -w -6" selects. adjust_maximum_thr must be 0: LibRaw
// otherwise lowers the white point to the brightest level found and the picture comes
// out thousands of levels brighter than dcraw's.
void selectDevelopment(LibRaw& raw) {
    raw.imgdata.params.output_bps = 16;
    raw.imgdata.params.use_camera_wb = 1;
    raw.imgdata.params.adjust_maximum_thr = 0.0f;
}

ProcessedImage develop(LibRaw& raw, const std::string& path) {
    selectDevelopment(raw);
    int code = raw.open_file(path.c_str());
    if (code == LIBRAW_SUCCESS) code = raw.unpack();
    if (code == LIBRAW_SUCCESS) code = raw.dcraw_process();
    if (code != LIBRAW_SUCCESS) return nullptr;
    ProcessedImage developed(raw.dcraw_make_mem_image(&code));
    // The developed copy stands alone: LibRaw's working buffers can go before the swap
    // to B, G, R allocates the result, which lowers the peak by their size.
    raw.recycle();
    return developed;
}

// Only a 3-colour, 16-bit bitmap has the channels that the swap to B, G, R needs.
bool isThreeColourBitmap(const libraw_processed_image_t& image) {
    const std::size_t rowBytes = std::size_t(image.width) * 3 * 2;
    return image.type == LIBRAW_IMAGE_BITMAP && image.colors == 3 && image.bits == 16 &&
           image.width > 0 && image.height > 0 && image.data_size >= rowBytes * image.height;
}

} // namespace

LoadedImage decodeRawImage(const std::string& path) {
    if (std::string problem = undecodableFile(path); !problem.empty()) return {cv::Mat(), problem};
    // LibRaw's working state is several hundred kilobytes: keep it off the stack.
    auto raw = std::make_unique<LibRaw>();
    const ProcessedImage developed = develop(*raw, path);
    if (!developed || !isThreeColourBitmap(*developed)) return {cv::Mat(), cannotDecode};
    const cv::Mat rgb(developed->height, developed->width, CV_16UC3, developed->data);
    cv::Mat bgr;
    cv::cvtColor(rgb, bgr, cv::COLOR_RGB2BGR);
    return {bgr, ""};
}

} // namespace tl
