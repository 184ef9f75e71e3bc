#include "tests/support/RunProgram.hpp"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <cstdio>
#include <thread>

extern char** environ;

namespace tl {

namespace {

// The child's side, between fork and exec: only async-signal-safe calls.
[[noreturn]] void becomeProgram(const std::string& program, char* const* argv, const std::string& stdoutFile,
                                const std::string& stderrFile, const RunLimits& limits) {
    const auto redirect = [](int descriptor, const std::string& file) {
        if (file.empty()) return;
        const int opened = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (opened < 0 || dup2(opened, descriptor) < 0) _exit(126);
        close(opened);
    };
    redirect(1, stdoutFile);
    redirect(2, stderrFile);
    if (limits.unprivileged && geteuid() == 0) {
        constexpr id_t nobody = 65534;
        if (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0) _exit(126);
    }
    if (limits.fileSizeLimit >= 0) {
        const rlimit cap{static_cast<rlim_t>(limits.fileSizeLimit), static_cast<rlim_t>(limits.fileSizeLimit)};
        if (setrlimit(RLIMIT_FSIZE, &cap) != 0) _exit(126);
    }
    execve(program.c_str(), argv, environ);
    _exit(127);
}

// The exit status of child, or -1 (ended by a signal) or -2 (killed after the time limit).
int awaitChild(pid_t child, int timeLimitSeconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (ended < 0 && errno != EINTR) return -1;
        if (std::chrono::steady_clock::now() > deadline) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -2;
}

} // namespace

pid_t startProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& stdoutFile, const std::string& stderrFile, const RunLimits& limits) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) becomeProgram(program, argv.data(), stdoutFile, stderrFile, limits);
    return child < 0 ? -1 : child;
}

int awaitProgram(pid_t child, int timeLimitSeconds) { return child < 0 ? -1 : awaitChild(child, timeLimitSeconds); }

int runProgram(const std::string& program, const std::vector<std::string>& arguments,
               const std::string& stdoutFile, const std::string& stderrFile, const RunLimits& limits) {
    return awaitProgram(startProgram(program, arguments, stdoutFile, stderrFile, limits), limits.timeLimitSeconds);
}

std::vector<std::string> MergeCall::arguments() const {
    std::vector<std::string> a{ghostThreshold, ghostingPower, threads,    unused4, align,
                               unused6,        tileSize,      progressPath, applicationFolder,
                               outputPath,     outputBits,    instantPath,
                               std::to_string(exposures.size())};
    a.insert(a.end(), exposures.begin(), exposures.end());
    return a;
}

void openToEveryone(const std::string& path) {
    namespace fs = std::filesystem;
    std::error_code ignored;
    fs::permissions(path, fs::perms::all, fs::perm_options::add, ignored);
    const fs::path top = fs::temp_directory_path();
    for (fs::path folder = fs::path(path).parent_path(); folder.has_relative_path() && folder != top;
         folder = folder.parent_path())
        fs::permissions(folder, fs::perms::all, fs::perm_options::add, ignored);
}

bool unprivilegedUserCanRun(const std::string& program) {
    RunLimits limits;
    limits.timeLimitSeconds = 60;
    limits.unprivileged = true;
    return runProgram(program, {"--version"}, "", "", limits) == 0;
}

} // namespace tl
