#include "output/JpegEncoder.hpp"

#include <cstdio>
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>
#include <new>

namespace tl {

namespace {

// libjpeg ends the process on a fatal error unless error_exit leaves some other way:
// here it jumps back to compress, which gives up.
struct ErrorTrap {
    jpeg_error_mgr manager;
    std::jmp_buf back;
};

[[noreturn]] void leave(j_common_ptr info) { std::longjmp(reinterpret_cast<ErrorTrap*>(info->err)->back, 1); }

void stayQuiet(j_common_ptr) {}

// The compressed bytes go straight into a vector, which doubles when it is full. libjpeg's
// own memory destination would not do: after an error it leaves the caller a pointer to a
// buffer it has already freed in growing it.
struct VectorDestination {
    jpeg_destination_mgr manager;
    std::vector<unsigned char>* bytes;
};

std::vector<unsigned char>& bytesOf(j_compress_ptr info) {
    return *reinterpret_cast<VectorDestination*>(info->dest)->bytes;
}

void pointPastWritten(j_compress_ptr info, std::size_t written) {
    std::vector<unsigned char>& bytes = bytesOf(info);
    info->dest->next_output_byte = bytes.data() + written;
    info->dest->free_in_buffer = bytes.size() - written;
}

void startBytes(j_compress_ptr info) {
    bytesOf(info).resize(64 * 1024);
    pointPastWritten(info, 0);
}

// A vector that cannot grow (memory ran out) is a fatal error for libjpeg: it jumps out
// through error_exit, after the exception is gone.
boolean growBytes(j_compress_ptr info) {
    std::vector<unsigned char>& bytes = bytesOf(info);
    const std::size_t written = bytes.size();
    bool grown = false;
    try {
        bytes.resize(written * 2);
        grown = true;
    } catch (const std::bad_alloc&) {
    }
    if (!grown) ERREXIT(info, JERR_OUT_OF_MEMORY);
    pointPastWritten(info, written);
    return TRUE;
}

void endBytes(j_compress_ptr info) { bytesOf(info).resize(bytesOf(info).size() - info->dest->free_in_buffer); }

// The compression into bytes. No object with a destructor lives in this frame, so the jump
// back from an error skips nothing.
bool compress(const cv::Mat& image, std::vector<unsigned char>& bytes) {
    jpeg_compress_struct info{};
    ErrorTrap trap{};
    VectorDestination destination{{nullptr, 0, startBytes, growBytes, endBytes}, &bytes};
    info.err = jpeg_std_error(&trap.manager);
    trap.manager.error_exit = leave;
    trap.manager.output_message = stayQuiet;
    if (setjmp(trap.back)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    info.dest = &destination.manager;
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
    std::vector<unsigned char> bytes;
    if (!compress(image, bytes)) return {};
    return bytes;
}

} // namespace tl
