#pragma once

#include <string>
#include <vector>

namespace tl {

// Why a run must not write a file at path, checked before it writes anything. Empty when
// the path may be written; an empty path is never refused. A path is refused when it
// names one of the given inputs (the same file whatever the spelling, or the same path
// for one that does not exist yet), something other than a regular file (a folder, a
// FIFO, a device: it would be replaced or block), or a file this user may not write (a
// read-only file is kept, as cp and the shell's > keep it), or when it does not exist
// and its folder cannot take a new file.
std::string pathRefusal(const std::string& path, const std::vector<std::string>& inputs);

// pathRefusal for a file that is written under a temporary name and then renamed into
// place: its folder must take a new file even when the file exists.
std::string replacementRefusal(const std::string& path, const std::vector<std::string>& inputs);

// Why this user may not write the existing file at path: "it is read-only", or the
// system's reason. Empty when it may, and when there is no file.
std::string fileRefusal(const std::string& path);

} // namespace tl
