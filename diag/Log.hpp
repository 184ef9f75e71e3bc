#pragma once

#include <string>

namespace tl {

// The log file "TessalineLog.txt" in the application folder: the one place where both
// programs report failures. Every entry is a local timestamp (MM/DD/YYYY HH:MM:SS)
// followed by its text, appended with a complete open-write-close cycle.

// Sets the log path to folder + "TessalineLog.txt"; folder ends in its separator.
void setLogFolder(const std::string& folder);

// Forgets the log path: entries are dropped until setLogFolder is called again.
void clearLogFolder();

// The current log path; empty until setLogFolder has been called.
const std::string& logPath();

// Appends the timestamp and then text. A log that cannot be opened, or is not a regular
// file (a FIFO would block), drops the entry.
void writeLogEntry(const std::string& text);

// Appends "\nERROR at function LABEL => MESSAGE\n\n".
void reportError(const std::string& label, const std::string& message);

// Reopens standard output on the log file, appending, from here on: everything a library
// prints lands in the log. False when the log cannot be opened (or is not a regular file).
bool redirectStandardOutputToLog();

// Appends "\nWARNING at function LABEL => MESSAGE\n\n".
void reportWarning(const std::string& label, const std::string& message);

// From now on every report (error or warning) is also written to standard error as
// one line, "PROGRAM: error: MESSAGE" or "PROGRAM: warning: MESSAGE", whether or not
// there is a log: a person at a terminal reads it there.
void echoReportsToStandardError(const std::string& program);

// A line drawn on standard error is not yet ended (the progress line, redrawn in place):
// a report echoed to standard error ends it first, so that the report stands on a line of
// its own and the drawing goes on below it.
void standardErrorLineIsOpen();

// Ends the open line on standard error, when there is one.
void endOpenStandardErrorLine();

// Appends the entry for a standard output that could not be reopened on the log.
void reportRedirectionFailure();

} // namespace tl
