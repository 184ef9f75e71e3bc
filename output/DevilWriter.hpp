#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Writes image with DevIL, the format chosen by the name's extension, replacing an
// existing file. Returns whether DevIL wrote it; an element type DevIL has none for is
// handed to passedOver (see toDevilImage).
bool writeWithDevil(const std::string& path, const cv::Mat& image, const PassedOver& passedOver = {});

} // namespace tl
