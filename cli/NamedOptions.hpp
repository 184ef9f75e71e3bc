#pragma once

#include <CLI/CLI.hpp>

#include <iosfwd>
#include <optional>
#include <string>

namespace tl {

// What the two programs' named options share: the help text's layout and --version,
// and one way of ending a call that does not run.

// Sets up app for a program called program: a help text that begins with the usage by
// name ("usage: PROGRAM [OPTIONS] ...") and then by position ("   or: " followed by
// positionalUsage), as help2man takes them for the man page's synopsis, goes on with the
// description and the options, and ends with footer; --version prints "PROGRAM VERSION".
void prepareNamedOptions(CLI::App& app, const std::string& program, const std::string& positionalUsage,
                         const std::string& footer);

// Parses argv with app. Returns nothing when the call is to be run. Otherwise returns
// the exit status: 0 when --help or --version was asked for and printed on out, 2 for
// a usage error, said on err in one line: "PROGRAM: WHAT (see PROGRAM --help)".
std::optional<int> parseNamedOptions(CLI::App& app, int argc, const char* const* argv, std::ostream& out,
                                     std::ostream& err);

} // namespace tl
