#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tl {

// The header of a Radiance (RGBE) file, read the way OpenCV's reader reads it, so that the
// size it declares is checked before anything is allocated or decoded.

// Whether the file at path starts with the Radiance signature "#?". OpenCV picks its
// Radiance reader by this signature, whatever the file's name.
bool hasRadianceSignature(const std::string& path);

// Whether the file's header ends (an empty line within its first 64 KiB) in the size line
// "-Y rows +X cols" with both sides from 1 to OpenCV's largest side, rows x cols within
// OpenCV's pixel limit, and enough bytes after that line for rows scanlines at their most
// compact: a run-length scanline takes 4 bytes plus 2 bytes per run of up to 127 pixels in
// each of its 4 channels, a flat one 4 bytes a pixel. Other orientations are refused too:
// OpenCV reads only this one.
bool declaresDecodableRadianceSize(const std::string& path);

// The size that a header declaresDecodableRadianceSize declares; nothing for any other.
struct RadianceSize {
    std::int64_t rows;
    std::int64_t cols;
};
std::optional<RadianceSize> decodableRadianceSize(const std::string& path);

} // namespace tl
