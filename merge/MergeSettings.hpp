#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tl {

// How the frames are merged: patched from the exposures' matching parts (the front end's
// merge), or on the instant image's scale with whatever disagrees with it left out.
enum class MergeMethod { patch, reference };

// What one merge is asked to do: the values of the merge program's command line.
struct MergeSettings {
    MergeMethod method = MergeMethod::patch;
    float ghostThreshold = 0;    // percent
    float ghostingPower = 0;     // percent of the larger side, negative for automatic
    int threads = 1;             // band workers of the compensation, at least 1
    bool align = false;
    int tileSize = 0;            // as given; the compensation makes it odd
    std::string progressPath;
    std::string applicationFolder;  // as given
    std::string outputPath;
    int outputBits = 0;
    std::string instantPath;
    std::vector<std::string> exposurePaths;
    // The call named its options: images are read at their own depth (16-bit and float
    // samples kept) and reports name the files; a call by position reads 8 bits and keeps
    // the indices the front end knows.
    bool namedOptions = false;
    std::optional<std::vector<double>> stops;  // the reference merge's exposures, one per exposure path
    std::string masksFolder;                   // the reference merge's masks go there when not empty
};

} // namespace tl
