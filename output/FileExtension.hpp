#pragma once

#include <string>

// Whether path ends in extension (given in lower case with its dot), letters in any
// case: ".hdr" matches a.hdr, a.HDR and a.Hdr.
bool hasExtension(const std::string& path, const std::string& extension);
