#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Writes a non-empty three-channel 32-bit float image (B, G, R) as a Radiance RGBE
// file with flat scanlines. Negative and non-finite channels are stored as 0. Returns
// whether the whole file was written; on failure nothing is left at path.
bool writeRadiance(const std::string& path, cv::InputArray image);

} // namespace tl
