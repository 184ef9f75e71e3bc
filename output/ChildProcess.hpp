#pragma once

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

// Starts program (looked up on PATH when it has no "/") with arguments as its argument
// vector, without a shell. actions may rearrange the child's file descriptors (null:
// it inherits them). Returns 0 and sets child, or the error number.
int spawnProgram(const std::string& program, const std::vector<std::string>& arguments,
                 const posix_spawn_file_actions_t* actions, pid_t& child);

// The file that execvp would run for program: program itself when it holds a "/",
// otherwise the first executable file of that name in the folders of PATH. Empty when
// there is none.
std::string findProgram(const std::string& program);

// Waits until child has ended, through interruptions by signals.
void waitForExit(pid_t child);

// Runs program with arguments to its end; the child inherits standard input, output
// and error. When it cannot be started, says so on standard error and returns false.
// The child's exit status is not examined.
bool runToEnd(const std::string& program, const std::vector<std::string>& arguments);
