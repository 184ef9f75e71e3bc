#pragma once

#include "merge/MergeSettings.hpp"

#include <optional>
#include <string>
#include <vector>

// The merge program's positional command line, converted as atoi and atof read it:
//   1 ghost threshold, 2 ghosting power, 3 threads (below 2 becomes 1), 4 unused,
//   5 align (only the exact value 1 switches it on), 6 unused, 7 tile size,
//   8 progress file, 9 application folder, 10 output, 11 bits per channel,
//   12 instant image, 13 the count N of exposure paths, 14 .. 13 + N the paths.
// Reads the positions of argv. Empty when fewer than 13 positions follow the program
// path, when the count N is negative or when fewer than N exposure paths follow it.
std::optional<MergeSettings> parseMergeArguments(int argc, const char* const* argv);

// The images of a merge: the exposure paths, followed by the instant image's path when
// it is not among them, and the index of the instant image in that list.
struct ImageList {
    std::vector<std::string> paths;
    int instantIndex = 0;
};

ImageList buildImageList(const MergeSettings& settings);
