#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace tl {

// Why a named call cannot be read because it spells an option that app does not know,
// with the nearest known option when one is close: "unknown option '--treshold' (did you
// mean --threshold?)". Empty when every option is known. Looked at before the values are
// checked, so that a misspelt option is not taken for a missing file named by its value.
// Arguments after "--", a lone "-" and negative numbers are not options.
std::string unknownOptionProblem(const CLI::App& app, int argc, const char* const* argv);

} // namespace tl
