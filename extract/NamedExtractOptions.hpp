#pragma once

#include "extract/ExtractArguments.hpp"

#include <cstdint>
#include <iosfwd>
#include <string>
#include <variant>

namespace tl {

// The frame extractor's named options, for people and scripts:
//   kadrimo VIDEO -o FOLDER [--from 0.25] [--to 0.5] [--name frame] [--format jpg]
//           [--list FILE] [--log-dir DIR]

// An extraction asked for by name.
struct NamedExtractCall {
    ExtractArguments arguments;  // no application folder; no list file unless asked for
    std::string logFolder;       // empty: no log file
};

// Reads a named call and checks every value before anything is written. Returns the
// call to run, or the exit status of a call that ends here: 0 after --help or
// --version (printed on out), 2 after a usage error (one line on err).
std::variant<NamedExtractCall, int> parseNamedExtractCall(int argc, const char* const* argv, std::ostream& out,
                                                          std::ostream& err);

// The window's fractions of the video are handed to the front end's arithmetic
// (computeFrameWindow) as numerators over this denominator. A power of two keeps the
// frames per unit exact in single precision, and rounding the numerator up keeps a
// fraction that falls on a frame (0.5 of 10 frames) on that frame rather than the one
// before it.
constexpr int windowDenominator = 1 << 20;
int windowNumerator(double fraction);

} // namespace tl
