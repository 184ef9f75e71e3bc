#pragma once

#include <string>

namespace tl {

// Both programs take two kinds of command line: the front end's fixed positions, and
// named options for people and scripts. These are the pieces of the rule that tells
// them apart; each program states its whole rule beside its positions.

// Whether argument begins as the front end's numbers begin (an optional sign, then a
// digit, or a point and a digit: "10", "-1", ".5", "0,5") and does not name an existing
// file. A call whose first argument does is meant to be read by position.
bool beginsLikeNumber(const std::string& argument);

// Whether argument is a number as a whole, as the front end writes its numbers ("10",
// "-1", "12.5", ".5"), and does not name an existing file: a photograph called "1" or
// "8.jpg" is a file, whatever its name looks like.
bool isNumberArgument(const std::string& argument);

// Whether one of argv[1] .. argv[argc - 1] names the output (-o, --output,
// --output=PATH): such a call is read by name, whatever else it holds.
bool holdsOutputOption(int argc, const char* const* argv);

// Ends a call by position that cannot be read, with exit status 1 as it always did,
// saying why on standard error: "PROGRAM: PROBLEM (see PROGRAM --help)".
int refusePositionalCall(const std::string& program, const std::string& problem);

} // namespace tl
