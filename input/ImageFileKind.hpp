#pragma once

#include <string>

namespace tl {

// Whether the file at path is an image a photographer could have: a camera raw file by
// its extension, or a file whose first bytes one of OpenCV's image readers recognises.
// A missing, empty or unreadable file is not.
bool looksLikeImageFile(const std::string& path);

} // namespace tl
