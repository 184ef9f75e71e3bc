#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// Loads path with DevIL in this process and converts it (convertDevILImage). The image
// names it generates are deleted on every path. An empty image when DevIL cannot read it
// or leaves any byte of the image unwritten (a short file, a size of 0): the file is
// decoded twice to tell.
// DevIL crashes on some malformed files: callers outside tests run this in the decoder
// program (DecoderProcess).
cv::Mat loadDevilImage(const std::string& path);

// Whether the DevIL in this process is version 1.7.8 or later.
bool devilVersionSupported();

} // namespace tl
