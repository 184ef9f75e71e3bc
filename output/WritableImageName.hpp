#pragma once

#include <string>
#include <vector>

namespace tl {

// Which file names the image writers take, asked before a long run whether its result can
// be written at all: the answer comes from the writers themselves, which write a small
// image under the name's extension into a private temporary folder.

// The bits per channel a file named path holds of the bits asked for: 8 for a format whose
// writer holds 8 bits only (JPEG, BMP, WebP, Sun raster) asked for 16, the bits asked for
// otherwise.
int bitsTheFormatHolds(const std::string& path, int bitsPerChannel);

// Whether one of the writers takes a file named path for an image of bitsPerChannel bits
// (8, 16 or 32), converted to the bits the format holds as the programs convert theirs.
bool isWritableImageName(const std::string& path, int bitsPerChannel = 8);

// The extensions (".bmp", ".exr", ...) of the formats the writers know whose files they take
// at bitsPerChannel, sorted.
std::vector<std::string> writableExtensions(int bitsPerChannel);

} // namespace tl
