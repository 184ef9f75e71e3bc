#pragma once

#include <string>

namespace tl {

// Whether path ends in extension (given in lower case with its dot), letters in any
// case: ".hdr" matches a.hdr, a.HDR and a.Hdr.
bool hasExtension(const std::string& path, const std::string& extension);

// The extension of path as the loaders see it: the text after the last "." anywhere in
// the path (the whole path when it has none), lower-cased letter by letter.
std::string lowerCaseExtension(const std::string& path);

// The 38 lower-case extensions of camera raw files. Only membership matters.
extern const std::string rawExtensions[38];

// Whether path names a camera raw file by its extension.
bool hasRawExtension(const std::string& path);

} // namespace tl
