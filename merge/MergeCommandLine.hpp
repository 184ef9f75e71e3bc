#pragma once

#include <optional>
#include <string>
#include <vector>

// The merge program's positional command line, converted as atoi and atof read it.
struct MergeSettings {
    float ghostThreshold = 0;    // 1: percent
    float ghostingPower = 0;     // 2: percent of the larger side, negative for automatic
    int threads = 1;             // 3: below 2 becomes 1
    bool align = false;          // 5: only the exact value 1 switches it on
    int tileSize = 0;            // 7
    std::string progressPath;    // 8
    std::string applicationFolder;  // 9, as given
    std::string outputPath;      // 10
    int outputBits = 0;          // 11
    std::string instantPath;     // 12
    std::vector<std::string> exposurePaths;  // 14 .. 13 + N
};

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
