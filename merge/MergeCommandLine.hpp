#pragma once

#include "merge/MergeSettings.hpp"

#include <string>
#include <variant>
#include <vector>

namespace tl {

// The merge program's positional command line:
//   1 ghost threshold, 2 ghosting power, 3 threads (below 2 becomes 1, above the number
//   of cores that number), 4 unused,
//   5 align (only the value 1 switches it on), 6 unused, 7 tile size,
//   8 progress file, 9 application folder, 10 output, 11 bits per channel,
//   12 instant image, 13 the count N of exposure paths, 14 .. 13 + N the paths.

// Whether argv asks to be read by position: it names no output option and its first
// argument begins like a number and is not a file. Any other call is read by name.
bool isPositionalMergeCall(int argc, const char* const* argv);

// Reads the positions of argv. Every number must be one as a whole (positions 1 and 2
// decimal, 3 to 7, 11 and 13 whole) and N must be the count of the paths that follow
// it, exactly: a call that says otherwise could take a photograph's name for a number or
// for the output. Returns the settings, or why the call cannot be read.
std::variant<MergeSettings, std::string> parseMergeArguments(int argc, const char* const* argv);

// The images of a merge: the exposure paths, followed by the instant image's path when
// it is not among them, and the index of the instant image in that list.
struct ImageList {
    std::vector<std::string> paths;
    int instantIndex = 0;
};

ImageList buildImageList(const MergeSettings& settings);

} // namespace tl
