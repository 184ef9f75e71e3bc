#pragma once

#include "merge/MergeCommandLine.hpp"

#include <iosfwd>
#include <string>
#include <variant>

namespace tl {

// The merge program's named options, for people and scripts:
//   tessaline -o merged.hdr [--instant FILE] [--method reference|patch] [--ev LIST]
//             [--masks DIR] [--threshold 10] [--ghosting-power 2|auto]
//             [--align] [--threads N] [--tile 9] [--bits 8|16|32] [--progress FILE]
//             [--log-dir DIR] IMAGE...

// A merge asked for by name.
struct NamedMergeCall {
    MergeSettings settings;  // no application folder; no progress file unless asked for
    std::string logFolder;   // empty: no log file
};

// Reads a named call and checks every value before anything is written. Returns the
// call to run, or the exit status of a call that ends here: 0 after --help or
// --version (printed on out), 2 after a usage error (one line on err).
std::variant<NamedMergeCall, int> parseNamedMergeCall(int argc, const char* const* argv, std::ostream& out,
                                                      std::ostream& err);

// The bits per channel of an output named path when none are asked for: 32 for
// Radiance, EXR and PFM files, 8 for any other.
int defaultOutputBits(const std::string& path);

} // namespace tl
