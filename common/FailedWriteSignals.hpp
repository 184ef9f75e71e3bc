#pragma once

// A write to a closed pipe (a standard error whose reader went away) and a write beyond
// the file-size limit (a full quota) end a process by signal unless it ignores them. Both
// programs ignore them, so that such a write fails like any other and takes the error path
// that reports it, instead of ending the run half way and leaving a partial file.
void ignoreFailedWriteSignals();
