#include "tests/support/RunProgram.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace {
void redirect(posix_spawn_file_actions_t& actions, int descriptor, const std::string& file) {
    if (!file.empty())
        posix_spawn_file_actions_addopen(&actions, descriptor, file.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
}
} // namespace

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& stdoutFile, const std::string& stderrFile) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    redirect(actions, 1, stdoutFile);
    redirect(actions, 2, stderrFile);
    pid_t child = 0;
    const int started = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (started != 0) return -1;
    int status = 0;
    if (waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

std::vector<std::string> MergeCall::arguments() const {
    std::vector<std::string> a{ghostThreshold, ghostingPower, threads,    unused4, align,
                               unused6,        tileSize,      progressPath, applicationFolder,
                               outputPath,     outputBits,    instantPath,
                               std::to_string(exposures.size())};
    a.insert(a.end(), exposures.begin(), exposures.end());
    return a;
}
