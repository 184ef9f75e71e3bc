#pragma once

#include <string>

// The 38 lower-case extensions of camera raw files. Only membership matters.
extern const std::string rawExtensions[38];

// The extension of path as the loaders see it: the text after the last "." anywhere in
// the path (the whole path when it has none), lower-cased letter by letter.
std::string lowerCaseExtension(const std::string& path);

// Whether path names a camera raw file by its extension.
bool hasRawExtension(const std::string& path);
