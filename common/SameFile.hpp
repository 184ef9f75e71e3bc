#pragma once

#include <string>

namespace tl {

// Whether a and b name one and the same existing file (the same device and inode), whatever
// their spelling, links or relative folders.
bool sameFile(const std::string& a, const std::string& b);

// Whether a and b name the same file: the same existing file, or the same path once both
// are made absolute and their "." and ".." steps resolved (for a file that does not exist
// yet, and that a run would create for both).
bool samePath(const std::string& a, const std::string& b);

// Whether path names something other than a regular file (a folder, a FIFO, a device, a
// socket). A path that does not exist is not.
bool namesNonRegularFile(const std::string& path);

} // namespace tl
