#include "input/ImageHeader.hpp"

#include "common/FileExtension.hpp"
#include "input/RadianceHeader.hpp"

#include <libraw/libraw.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

namespace tl {

namespace {

using Size = std::optional<cv::Size>;

// The first bytes of a file, as many as there are up to count.
std::vector<unsigned char> leadingBytes(std::ifstream& file, std::size_t count) {
    std::vector<unsigned char> bytes(count);
    file.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(count));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    return bytes;
}

std::uint32_t bigEndian(const unsigned char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | at[i];
    return value;
}

std::uint32_t littleEndian(const unsigned char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) value = value << 8 | at[i];
    return value;
}

// Width and height as a size, when both are within OpenCV's limits on what it decodes (the
// defaults of its OPENCV_IO_MAX_IMAGE_WIDTH, _HEIGHT and _PIXELS settings).
Size sizeOf(std::int64_t width, std::int64_t height) {
    constexpr std::int64_t largestSide = std::int64_t(1) << 20, largestPixelCount = std::int64_t(1) << 30;
    if (width < 1 || height < 1 || width > largestSide || height > largestSide || width * height > largestPixelCount)
        return std::nullopt;
    return cv::Size(static_cast<int>(width), static_cast<int>(height));
}

bool isStartOfFrame(int marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// JPEG: the segments are walked up to the first start of frame, which holds the size.
Size jpegSize(std::ifstream& file) {
    file.seekg(2);
    for (int segments = 0; segments < 4096; ++segments) {
        if (file.get() != 0xFF) return std::nullopt;
        int marker = file.get();
        while (marker == 0xFF) marker = file.get();  // fill bytes
        if (marker == EOF) return std::nullopt;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) continue;  // no length
        const std::vector<unsigned char> segment = leadingBytes(file, 7);
        if (segment.size() < 7) return std::nullopt;
        if (isStartOfFrame(marker)) return sizeOf(bigEndian(&segment[5], 2), bigEndian(&segment[3], 2));
        file.seekg(static_cast<std::streamoff>(bigEndian(&segment[0], 2)) - 7, std::ios::cur);
    }
    return std::nullopt;
}

// TIFF: width (tag 256) and length (257) of the first image file directory.
Size tiffSize(std::ifstream& file, bool little) {
    const auto read = [&](std::streamoff at, int bytes) -> std::optional<std::uint32_t> {
        file.clear();
        file.seekg(at);
        const std::vector<unsigned char> b = leadingBytes(file, static_cast<std::size_t>(bytes));
        if (static_cast<int>(b.size()) != bytes) return std::nullopt;
        return little ? littleEndian(b.data(), bytes) : bigEndian(b.data(), bytes);
    };
    const auto directory = read(4, 4);
    const auto entries = directory ? read(*directory, 2) : std::nullopt;
    if (!entries) return std::nullopt;
    std::int64_t width = 0, height = 0;
    for (std::uint32_t i = 0; i < *entries && i < 1024; ++i) {
        const std::streamoff entry = *directory + 2 + 12 * static_cast<std::streamoff>(i);
        const auto tag = read(entry, 2), type = read(entry + 2, 2);
        if (!tag || !type) return std::nullopt;
        const auto value = read(entry + 8, *type == 3 ? 2 : 4);  // SHORT or LONG
        if (*tag == 256 && value) width = *value;
        if (*tag == 257 && value) height = *value;
    }
    return sizeOf(width, height);
}

// The portable any-maps: the magic number, then width and height, with comments between.
Size anyMapSize(std::ifstream& file) {
    file.seekg(2);
    std::int64_t numbers[2] = {};
    for (std::int64_t& number : numbers) {
        int c = file.get();
        while (c == '#' || std::isspace(c)) {
            if (c == '#')
                while (c != '\n' && c != EOF) c = file.get();
            c = file.get();
        }
        if (!std::isdigit(c)) return std::nullopt;
        for (; std::isdigit(c) && number < INT32_MAX; c = file.get()) number = number * 10 + (c - '0');
    }
    return sizeOf(numbers[0], numbers[1]);
}

Size webpSize(const std::vector<unsigned char>& b) {
    if (b.size() < 30) return std::nullopt;
    const std::string chunk(b.begin() + 12, b.begin() + 16);
    if (chunk == "VP8 ") return sizeOf(littleEndian(&b[26], 2) & 0x3FFF, littleEndian(&b[28], 2) & 0x3FFF);
    if (chunk == "VP8L") {
        const std::uint32_t bits = littleEndian(&b[21], 4);
        return sizeOf((bits & 0x3FFF) + 1, (bits >> 14 & 0x3FFF) + 1);
    }
    if (chunk == "VP8X") return sizeOf(littleEndian(&b[24], 3) + 1, littleEndian(&b[27], 3) + 1);
    return std::nullopt;
}

Size bmpSize(const std::vector<unsigned char>& b) {
    if (b.size() < 26) return std::nullopt;
    if (littleEndian(&b[14], 4) == 12) return sizeOf(littleEndian(&b[18], 2), littleEndian(&b[20], 2));
    const auto height = static_cast<std::int32_t>(littleEndian(&b[22], 4));
    return sizeOf(static_cast<std::int32_t>(littleEndian(&b[18], 4)), height < 0 ? -std::int64_t(height) : height);
}

// A camera raw file's developed size, as LibRaw works it out from the metadata alone.
Size rawSize(const std::string& path) {
    auto raw = std::make_unique<LibRaw>();
    if (raw->open_file(path.c_str()) != LIBRAW_SUCCESS || raw->adjust_sizes_info_only() != LIBRAW_SUCCESS)
        return std::nullopt;
    return sizeOf(raw->imgdata.sizes.iwidth, raw->imgdata.sizes.iheight);
}

Size radianceSize(const std::string& path) {
    const std::optional<RadianceSize> size = decodableRadianceSize(path);
    return size ? sizeOf(size->cols, size->rows) : std::nullopt;
}

Size sizeBySignature(std::ifstream& file, const std::string& path) {
    const std::vector<unsigned char> b = leadingBytes(file, 32);
    const auto startsWith = [&](std::string_view signature) {
        return b.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), b.begin(),
                          [](char expected, unsigned char found) { return static_cast<unsigned char>(expected) == found; });
    };
    if (startsWith("\xFF\xD8\xFF")) return jpegSize(file);
    if (startsWith("\x89PNG\r\n\x1A\n") && b.size() >= 24) return sizeOf(bigEndian(&b[16], 4), bigEndian(&b[20], 4));
    if (startsWith(std::string_view("II*\0", 4))) return tiffSize(file, true);
    if (startsWith(std::string_view("MM\0*", 4))) return tiffSize(file, false);
    if (startsWith("BM")) return bmpSize(b);
    if (startsWith("RIFF") && b.size() >= 12 && std::string(b.begin() + 8, b.begin() + 12) == "WEBP") return webpSize(b);
    if (b.size() >= 2 && b[0] == 'P' && std::string_view("123456Ff").find(static_cast<char>(b[1])) != std::string_view::npos)
        return anyMapSize(file);
    if (startsWith("#?")) return radianceSize(path);
    return std::nullopt;
}

} // namespace

std::optional<cv::Size> imageSizeFromHeader(const std::string& path) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return std::nullopt;  // a FIFO would block
    if (hasRawExtension(path)) return rawSize(path);
    std::ifstream file(path, std::ios::binary);
    if (!file) return std::nullopt;
    return sizeBySignature(file, path);
}

} // namespace tl
