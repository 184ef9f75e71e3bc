#pragma once

#include <opencv2/core.hpp>

#include <optional>
#include <string>

namespace tl {

// The size of the image in a file, read from its header without decoding the picture, so
// that a merge can check every image before it starts: JPEG, PNG, TIFF, BMP, WebP, the
// portable any-maps (PBM, PGM, PPM, PFM), Radiance files and camera raw files (the size
// after development, turned as the camera was held). Nothing for any other format, and
// for a header that cannot be read; the caller then decodes the file to know.
std::optional<cv::Size> imageSizeFromHeader(const std::string& path);

} // namespace tl
