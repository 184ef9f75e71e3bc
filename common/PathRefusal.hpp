#pragma once

#include <string>
#include <vector>

// Why a run must not write a file at path, checked before it writes anything: the path
// names one of its input files (by device and inode, whatever the spelling), or something
// other than a regular file (a folder, a FIFO, a device), which would be replaced or block.
// Empty when the path may be written; an empty path is never refused.
std::string pathRefusal(const std::string& path, const std::vector<std::string>& inputs);
