#pragma once

#include <string>

// The 38 lower-case extensions of camera raw files. Only membership matters.
extern const std::string rawExtensions[38];

// Whether path names a camera raw file by its extension.
bool hasRawExtension(const std::string& path);
