#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

// The argument vector of execv and posix_spawn for program and arguments: pointers
// into the strings, ended by a null pointer. Valid while the strings live.
std::vector<char*> argumentVector(const std::string& program, const std::vector<std::string>& arguments);

// The file that execvp would run for program: program itself when it holds a "/",
// otherwise the first executable file of that name in the folders of PATH. Empty when
// there is none.
std::string findProgram(const std::string& program);

// Waits until child has ended, through interruptions by signals.
void waitForExit(pid_t child);

// Runs program (looked up on PATH when it has no "/") with arguments to its end,
// straight through the operating system and never through a shell, so that each
// argument arrives as one whatever characters it holds. The child inherits standard
// input, output and error. When it cannot be started, says so on standard error and returns false.
// The child's exit status is not examined.
bool runToEnd(const std::string& program, const std::vector<std::string>& arguments);
