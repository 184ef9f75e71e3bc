#include "input/JpegCompleteness.hpp"

#include <cstddef>

namespace tl {

namespace {

constexpr unsigned char markerPrefix = 0xFF, startOfImage = 0xD8, endOfImage = 0xD9, startOfScan = 0xDA;

unsigned char byteAt(const std::string& bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

// Markers that stand alone, without a length: the restart markers and TEM.
bool standsAlone(unsigned char marker) { return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01; }

// The position of the first marker after entropy-coded data that begins at at, or the
// size of bytes when the data runs to the end. Inside the data 0xFF is followed by a
// stuffed 0x00 or a restart marker.
std::size_t endOfEntropyData(const std::string& bytes, std::size_t at) {
    while (at + 1 < bytes.size()) {
        if (byteAt(bytes, at) != markerPrefix) {
            ++at;
            continue;
        }
        const unsigned char next = byteAt(bytes, at + 1);
        if (next == 0x00 || (next >= 0xD0 && next <= 0xD7)) {
            at += 2;
        } else if (next == markerPrefix) {
            ++at;  // fill byte
        } else {
            return at;
        }
    }
    return bytes.size();
}

} // namespace

bool isCutShortJpeg(const std::string& bytes) {
    if (bytes.size() < 3 || byteAt(bytes, 0) != markerPrefix || byteAt(bytes, 1) != startOfImage ||
        byteAt(bytes, 2) != markerPrefix)
        return false;
    std::size_t at = 2;
    while (at + 1 < bytes.size()) {
        if (byteAt(bytes, at) != markerPrefix) return false;  // not a JPEG's structure: no judgement
        const unsigned char marker = byteAt(bytes, at + 1);
        at += 2;
        if (marker == markerPrefix) {
            --at;  // fill bytes before a marker
            continue;
        }
        if (marker == endOfImage) return false;
        if (standsAlone(marker)) continue;
        if (at + 2 > bytes.size()) return true;
        const std::size_t length = std::size_t{byteAt(bytes, at)} << 8 | byteAt(bytes, at + 1);
        if (at + length > bytes.size()) return true;
        at += length;
        if (marker == startOfScan) at = endOfEntropyData(bytes, at);
    }
    return true;
}

} // namespace tl
