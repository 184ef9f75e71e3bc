#pragma once

#include "merge/MergeCommandLine.hpp"

// One merge as the command line asks for it: log and tool folder, standard output into
// the log, the run and the writing of its result. Returns the exit status.
int runMergeCommand(const MergeSettings& settings);
