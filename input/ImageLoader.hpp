#pragma once

#include "input/LoadedImage.hpp"

#include <string>

namespace tl {

// How deep ordinary image files are read: at 8 bits per channel, as calls by position
// always have, or at the file's own depth (16-bit and float samples kept as they are).
// Camera raw files are 16-bit and Radiance, EXR and PFM files float either way.
enum class InputDepth { eightBit, own };

// Loads one image file: camera raw files (by extension) developed to 16-bit B, G, R;
// Radiance files (by their "#?" signature) through OpenCV alone, after a check of the
// size they declare; every file whose signature OpenCV knows (PNG, JPEG, TIFF, WebP, ...)
// through OpenCV alone, a JPEG without its end marker counting as cut short; everything
// else through DevIL. Signed and 32-bit integer samples come back at a depth the fusion
// takes (toFusionDepth). An empty image when nothing can read the file, or when the
// decoder could not fill every pixel, with the reason when it is known.
// Running out of memory is no property of the file: std::bad_alloc or the image
// library's out-of-memory cv::Exception is thrown to the caller.
LoadedImage loadImage(const std::string& path, InputDepth depth = InputDepth::eightBit);

} // namespace tl
