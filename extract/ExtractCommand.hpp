#pragma once

#include "extract/ExtractArguments.hpp"
#include "extract/NamedExtractOptions.hpp"

namespace tl {

// One extraction as the front end asks for it by position: the application folder (log
// and tools) when given, then the run. Returns the exit status, 0 or 1.
int runExtractCommand(const ExtractArguments& arguments);

// One extraction asked for by name: reports on standard error and, with a log folder,
// in its log; the output folder is made when missing; then the run. Returns 0 or 1.
int runNamedExtractCommand(const NamedExtractCall& call);

// Ends a call by position that cannot be read (see parseExtractArguments), saying why on
// standard error and, when the call names its application folder, in its log. Returns 1.
int refusePositionalExtractCall(int argc, const char* const* argv, const std::string& problem);

} // namespace tl
