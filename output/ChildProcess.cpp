#include "output/ChildProcess.hpp"

#include "common/PlainFile.hpp"
#include "common/RemovedOnSignal.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <thread>

extern char** environ;

namespace tl {

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

namespace {

bool existing(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

// posix_spawn's preparations: standard error appended to errors (when given), and no
// signal held back in the child.
class SpawnSettings {
public:
    explicit SpawnSettings(const std::string& errors) {
        posix_spawn_file_actions_init(&actions);
        if (!errors.empty())
            posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, existing(errors) ? errors.c_str() : "/dev/null",
                                             O_WRONLY | O_APPEND | O_NONBLOCK, 0);
        posix_spawnattr_init(&attributes);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
    }
    ~SpawnSettings() {
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    SpawnSettings(const SpawnSettings&) = delete;
    SpawnSettings& operator=(const SpawnSettings&) = delete;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

} // namespace

void unblockSignalsInChild() {
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
}

RunEnd runToEnd(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::milliseconds limit, const std::string& errors) {
    // What we printed so far comes before whatever the child prints on the same file.
    std::fflush(stdout);
    pid_t child = 0;
    const std::vector<char*> argv = argumentVector(program, arguments);
    const SpawnSettings settings(errors);
    std::unique_ptr<RemovedOnSignal> endedFirst;
    {
        // Started and registered as one step: a signal that ends the process meanwhile
        // ends the child too, and none starts once such a signal has come.
        const RemovedOnSignal::Creation creation;
        if (posix_spawnp(&child, program.c_str(), &settings.actions, &settings.attributes, argv.data(), environ) != 0)
            return RunEnd::notStarted;
        endedFirst = std::make_unique<RemovedOnSignal>(child);
    }
    return waitForExit(child, limit) ? RunEnd::ended : RunEnd::stopped;
}

} // namespace tl
