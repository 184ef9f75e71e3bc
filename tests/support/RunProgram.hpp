#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace tl {

// What a program run by a test may do at most. A program still running after timeLimit
// is killed: a hang fails the test instead of blocking the suite. fileSizeLimit, when not
// negative, caps the size of every file the program writes (RLIMIT_FSIZE), the way a full
// disk stops a write half way.
// unprivileged runs the program as a user whom file permissions bind, as they bind a
// photographer: the tests' own user, or "nobody" (uid and gid 65534) when the tests run as
// root. Its files and folders must then be open to that user (see openToEveryone).
struct RunLimits {
    int timeLimitSeconds = 300;
    long long fileSizeLimit = -1;
    bool unprivileged = false;
};

// Lets every user read and write path and, down to it from the temporary folder, enter
// each folder: what a program run unprivileged needs to reach a test's files.
void openToEveryone(const std::string& path);

// Runs program with arguments (no shell) and waits. Standard output and error go to
// the given files when not empty. Returns the exit status, -1 when the program could not
// be started or did not exit normally, and -2 when it had to be killed for running too long.
int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& stdoutFile = "", const std::string& stderrFile = "", const RunLimits& limits = {});

// runProgram in two halves, for a test that acts on the program while it runs (sends it a
// signal, say): startProgram returns the child's process id (-1 when it cannot fork), and
// awaitProgram waits for that child as runProgram does, with the same results.
pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& stdoutFile = "", const std::string& stderrFile = "",
                   const RunLimits& limits = {});
int awaitProgram(pid_t child, int timeLimitSeconds);

// The merge program's 13 fixed positions, in order, followed by the exposure paths.
struct MergeCall {
    std::string ghostThreshold = "1000";
    std::string ghostingPower = "2";
    std::string threads = "1";
    std::string unused4 = "0";
    std::string align = "0";
    std::string unused6 = "0";
    std::string tileSize = "9";
    std::string progressPath;
    std::string applicationFolder;
    std::string outputPath;
    std::string outputBits = "16";
    std::string instantPath;
    std::vector<std::string> exposures;

    std::vector<std::string> arguments() const;
};

// Whether the unprivileged user of RunLimits can run program at all: not when the build
// lies in a folder closed to other users (a private temporary folder, say). Tests that
// need that user skip then, saying why.
bool unprivilegedUserCanRun(const std::string& program);

} // namespace tl
