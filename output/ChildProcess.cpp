#include "output/ChildProcess.hpp"

#include "common/ExecutableFile.hpp"
#include "common/RemovedOnSignal.hpp"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <thread>

extern char** environ;

std::vector<char*> argumentVector(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.reserve(arguments.size() + 2);
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

std::string findProgram(const std::string& program) {
    if (program.find('/') != std::string::npos) return program;
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    std::string folder;
    while (std::getline(folders, folder, ':')) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        if (isExecutableFile(candidate)) return candidate;
    }
    return "";
}

bool waitForExit(pid_t child, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    auto pause = std::chrono::milliseconds(1);
    int status = 0;
    for (;;) {
        const pid_t ended = waitpid(child, &status, WNOHANG);
        if (ended == child || (ended < 0 && errno != EINTR)) return true;
        if (std::chrono::steady_clock::now() >= deadline) break;
        // Short pauses first: most children end within milliseconds.
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::milliseconds(50));
    }
    kill(child, SIGKILL);
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return false;
}

RunEnd runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::milliseconds limit) {
    // What we printed so far comes before whatever the child prints on the same file.
    std::fflush(stdout);
    pid_t child = 0;
    const std::vector<char*> argv = argumentVector(program, arguments);
    const int error = posix_spawnp(&child, program.c_str(), nullptr, nullptr, argv.data(), environ);
    if (error != 0) {
        std::fprintf(stderr, "%s: cannot be started: %s\n", program.c_str(), std::strerror(error));
        return RunEnd::notStarted;
    }
    const RemovedOnSignal endedFirst(child);
    return waitForExit(child, limit) ? RunEnd::ended : RunEnd::stopped;
}
