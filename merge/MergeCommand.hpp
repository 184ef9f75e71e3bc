#pragma once

#include "merge/MergeCommandLine.hpp"
#include "merge/NamedMergeOptions.hpp"

namespace tl {

// One merge as the front end asks for it by position: log and tool folder, standard
// output into the log, the exposure check (into the log), the run and the writing of its
// result. Returns the exit status: 0 when the merged image was written, otherwise 1 (after the reports).
int runMergeCommand(const MergeSettings& settings);

// One merge asked for by name: every image checked for its size first (status 2, said in
// one line, when one cannot be read or is not as large as the instant image); reports on
// standard error and, with a log folder, in its log, which then takes standard output too
// (otherwise standard error does, so that a script's standard output stays clean); the
// exposure check, the run and the writing. Returns 0 when the merged image was written,
// otherwise 1.
int runNamedMergeCommand(const NamedMergeCall& call);

// Ends a call by position that cannot be read (see parseMergeArguments), saying why on
// standard error and, when the call names its application folder, in its log. Returns 1.
int refusePositionalMergeCall(int argc, const char* const* argv, const std::string& problem);

} // namespace tl
