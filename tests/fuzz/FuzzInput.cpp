#include "tests/fuzz/FuzzInput.hpp"

#include <algorithm>
#include <array>
#include <stdexcept>

namespace tl {

namespace {

// Raw names reach LibRaw, high-dynamic-range names OpenCV's float path, the rest
// OpenCV and then DevIL, whose loader is chosen by these same extensions (FITS files
// hold the signed samples that only DevIL hands over).
// New names go at the end, so that the kept corpus keeps its meaning.
const std::array<const char*, 25> extensions = {
    "jpg", "png", "tif", "bmp", "pnm", "webp", "jp2", "hdr", "exr", "pfm", "nef", "dng", "kdc",
    "cr2", "raf", "tga", "gif", "pcx", "psd", "dds", "ico", "sgi", "pic", "txt", "fits"};

} // namespace

FuzzFile fuzzFile(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return {"txt", ""};
    return {extensions[data[0] % extensions.size()],
            std::string(reinterpret_cast<const char*>(data) + 1, size - 1)};
}

std::uint8_t fuzzExtensionByte(const std::string& extension) {
    const auto found = std::find(extensions.begin(), extensions.end(), extension);
    if (found == extensions.end()) throw std::invalid_argument("no fuzz extension " + extension);
    return std::uint8_t(found - extensions.begin());
}

} // namespace tl
