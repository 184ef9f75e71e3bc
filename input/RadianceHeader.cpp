#include "input/RadianceHeader.hpp"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string_view>

namespace tl {

namespace {

// OpenCV's limits on the size of a decoded image (the defaults of its
// OPENCV_IO_MAX_IMAGE_WIDTH, _HEIGHT and _PIXELS settings).
constexpr std::int64_t largestSide = std::int64_t(1) << 20;
constexpr std::int64_t largestPixelCount = std::int64_t(1) << 30;

// Writers put a few short lines there; a header that runs on is not worth reading.
constexpr std::streamoff longestHeader = 64 * 1024;

// One line as OpenCV's reader takes it (fgets into 128 bytes): at most 127 characters,
// the line end included when it fits. Empty at the end of the file.
std::string nextLine(std::istream& in) {
    std::string line;
    char c = 0;
    while (line.size() < 127 && in.get(c)) {
        line += c;
        if (c == '\n') break;
    }
    return line;
}

void skipSpace(std::string_view& rest) {
    while (!rest.empty() && std::isspace(static_cast<unsigned char>(rest.front()))) rest.remove_prefix(1);
}

bool literal(std::string_view& rest, std::string_view word) {
    if (rest.substr(0, word.size()) != word) return false;
    rest.remove_prefix(word.size());
    return true;
}

// A decimal number as %d reads it, in 64 bits so that no declared value wraps.
std::optional<std::int64_t> number(std::string_view& rest) {
    skipSpace(rest);
    // %d takes one optional sign; from_chars takes a minus only.
    if (literal(rest, "+") && literal(rest, "-")) return std::nullopt;
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), value);
    if (error != std::errc()) return std::nullopt;
    rest.remove_prefix(std::size_t(end - rest.data()));
    return value;
}

// The size line as sscanf(line, "-Y %d +X %d") reads it.
std::optional<RadianceSize> parseSizeLine(std::string_view rest) {
    if (!literal(rest, "-Y")) return std::nullopt;
    const std::optional<std::int64_t> rows = number(rest);
    skipSpace(rest);
    if (!rows || !literal(rest, "+X")) return std::nullopt;
    const std::optional<std::int64_t> cols = number(rest);
    if (!cols) return std::nullopt;
    return RadianceSize{*rows, *cols};
}

// The size line after the header's first empty line, and the bytes that follow it.
struct Layout {
    RadianceSize size;
    std::int64_t pixelBytes;
};

std::optional<Layout> readLayout(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (nextLine(file).empty()) return std::nullopt; // the signature line
    for (;;) {
        const std::string line = nextLine(file);
        if (line.empty() || file.tellg() > longestHeader) return std::nullopt;
        if (line.front() == '\n') break;
    }
    const std::optional<RadianceSize> size = parseSizeLine(nextLine(file));
    const std::streamoff sizeLineEnd = file.tellg();
    std::error_code error;
    const auto fileBytes = std::filesystem::file_size(path, error);
    if (!size || sizeLineEnd < 0 || error) return std::nullopt;
    return Layout{*size, std::int64_t(fileBytes) - sizeLineEnd};
}

// OpenCV's reader takes a scanline of 8 to 32767 pixels as run-length encoded when it
// begins so, any other as flat.
std::int64_t smallestScanlineBytes(std::int64_t cols) {
    if (cols >= 8 && cols <= 0x7fff) return 4 + 4 * 2 * ((cols + 126) / 127);
    return 4 * cols;
}

bool fits(const Layout& layout) {
    const auto [rows, cols] = layout.size;
    if (rows < 1 || cols < 1 || rows > largestSide || cols > largestSide) return false;
    return rows * cols <= largestPixelCount && rows * smallestScanlineBytes(cols) <= layout.pixelBytes;
}

} // namespace

bool hasRadianceSignature(const std::string& path) {
    char start[2] = {};
    std::ifstream file(path, std::ios::binary);
    file.read(start, 2);
    return file.gcount() == 2 && start[0] == '#' && start[1] == '?';
}

bool declaresDecodableRadianceSize(const std::string& path) {
    const std::optional<Layout> layout = readLayout(path);
    return layout && fits(*layout);
}

std::optional<RadianceSize> decodableRadianceSize(const std::string& path) {
    const std::optional<Layout> layout = readLayout(path);
    if (!layout || !fits(*layout)) return std::nullopt;
    return layout->size;
}

} // namespace tl
