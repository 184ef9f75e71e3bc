#pragma once

#include <string>

namespace tl {

// The bytes a frame path takes in the UTF-8 list file. A path that is valid UTF-8 is
// kept as it is; any other path is read byte by byte as Latin-1 (ISO 8859-1), so every
// byte from 0x80 up becomes two bytes.
std::string listFileName(const std::string& path);

// Whether bytes form well-formed UTF-8 (shortest forms only, no surrogates, at most
// U+10FFFF).
bool isValidUtf8(const std::string& bytes);

} // namespace tl
