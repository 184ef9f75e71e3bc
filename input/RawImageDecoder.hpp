#pragma once

#include "input/LoadedImage.hpp"

#include <string>

namespace tl {

// Develops a camera raw file in this process the way "dcraw -T -w -6" does: camera
// white balance, sRGB, BT.709 gamma with automatic brightening, 16 bits per sample,
// camera orientation applied. Returns a 16-bit, 3-channel B, G, R image, or an empty
// image and the reason when the file cannot be opened or developed into three colours.
// Not re-entrant: one decode at a time.
LoadedImage decodeRawImage(const std::string& path);

} // namespace tl
