#include "output/JpegEncoder.hpp"

#include <jpeglib.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace {

// libjpeg ends the process on a fatal error unless error_exit leaves some other way:
// here it jumps back to compress, which gives up.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void leave(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->back, 1); }

void stayQuiet(j_common_ptr) {}

// The compression into a buffer that libjpeg allocates (*out, *size). No object with a
// destructor lives in this frame, so the jump back from an error skips nothing.
bool compress(const cv::Mat& image, unsigned char** out, unsigned long* size) {
    jpeg_compress_struct info{};
    ErrorTrap trap{};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leave;
    trap.manager.output_message = stayQuiet;
    if (setjmp(trap.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, out, size);
    info.image_width = static_cast<JDIMENSION>(image.cols);
    info.image_height = static_cast<JDIMENSION>(image.rows);
    info.input_components = 3;
    info.in_color_space = JCS_EXT_BGR;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(image.ptr<unsigned char>(static_cast<int>(info.next_scanline)));
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

} // namespace

std::vector<unsigned char> encodeBgrJpeg(const cv::Mat& image) {
    if (image.type() != CV_8UC3 || image.dims != 2 || image.empty()) return {};
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const bool done = compress(image, &out, &size);
    std::vector<unsigned char> bytes;
    if (done) bytes.assign(out, out + size);
    std::free(out);
    return bytes;
}
