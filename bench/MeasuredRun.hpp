#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace tl {

// What one run of a program took: its own wall time, processor time and peak memory.
struct Figures {
    double wall = 0, cpu = 0, peakMiB = 0;
    bool ok = false;
};

// The figures of a child process started at start, once it has ended.
inline Figures awaitMeasured(pid_t child, std::chrono::steady_clock::time_point start) {
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    Figures f;
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    f.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    f.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return f;
}

// Runs program to its end with its output thrown away (no shell); extra environment
// settings (NAME=VALUE) are added to the child's.
inline Figures runMeasured(const std::string& program, const std::vector<std::string>& arguments,
                           const std::vector<std::string>& environment = {}) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::fflush(stdout);  // the child's freopen would print its copy of the buffer again
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        for (const std::string& setting : environment) putenv(const_cast<char*>(setting.c_str()));
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return awaitMeasured(child, start);
}

} // namespace tl
