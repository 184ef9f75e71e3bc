#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace tl {

// The argument vector of execv and posix_spawn for program and arguments: pointers
// into the strings, ended by a null pointer. Valid while the strings live.
std::vector<char*> argumentVector(const std::string& program, const std::vector<std::string>& arguments);

// The file that execvp would run for program: program itself when it holds a "/",
// otherwise the first executable file of that name in the folders of PATH. Empty when
// there is none.
std::string findProgram(const std::string& program);

// Waits until child has ended, through interruptions by signals, but no longer than
// limit: a child still running then is killed (and collected). Returns whether it ended
// by itself.
bool waitForExit(pid_t child, std::chrono::milliseconds limit);

// How a program run by runToEnd ended.
enum class RunEnd { ended, notStarted, stopped };

// Runs program (looked up on PATH when it has no "/") with arguments to its end,
// straight through the operating system and never through a shell, so that each
// argument arrives as one whatever characters it holds. The child inherits standard
// input and output; its standard error is appended to the file errors when that is not
// empty (to /dev/null while no such file exists), and inherited otherwise. A child still running after
// limit is killed (stopped). The exit status is not examined. Once a signal is ending
// this process no child is started: the calling thread waits for the end.
RunEnd runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::milliseconds limit, const std::string& errors = "");

// The signals that a child of this process starts with blocked: none, whatever the
// starting thread holds back at the moment.
void unblockSignalsInChild();

} // namespace tl
