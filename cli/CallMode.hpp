#pragma once

#include <string>

// Both programs take two kinds of command line: the front end's fixed positions, and
// named options for people and scripts. These are the pieces of the rule that tells
// them apart; each program states its whole rule beside its options.

// Whether text begins as the front end writes its numbers: an optional sign, then a
// digit, or a point followed by a digit ("10", "-1", "12.5", ".5", "10,5"). No path
// a person names begins like that unless its name is a number.
bool beginsWithNumber(const std::string& text);

// Whether the arguments argv[1] .. argv[argc - 1] ask for the named options: the first
// one is a path (not empty, and beginning neither with "-" nor with a number), or one of them names
// the output (-o, -oPATH, --output, --output=PATH) or asks for -h, --help or --version.
bool asksForNamedOptions(int argc, const char* const* argv);

// Ends a call by position that lacks positions, with exit status 1 as it always did. A
// person's call (one that does not begin with a number) is told on standard error what
// to do instead: "PROGRAM: HINT (see PROGRAM --help)".
int refuseIncompleteCall(const std::string& program, const std::string& hint, int argc, const char* const* argv);
