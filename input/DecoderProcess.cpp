#include "input/DecoderProcess.hpp"

#include "common/PlainFile.hpp"
#include "input/ImagePipe.hpp"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

extern char** environ;

namespace tl {

const char* const decoderProgramName = "tessaline-decoder";

namespace {

using Clock = std::chrono::steady_clock;

// Beside the running program (a build tree, a test's folder), or where an installation
// keeps its helper programs; empty when neither holds it.
std::string findDecoderProgram() {
    std::error_code error;
    const std::filesystem::path running = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "";
    const std::filesystem::path folder = running.parent_path();
    for (const std::filesystem::path& candidate :
         {folder / decoderProgramName, folder / ".." / "libexec" / "tessaline" / decoderProgramName})
        if (isExecutableFile(candidate.string())) return candidate.lexically_normal().string();
    return "";
}

const std::string& decoderProgram() {
    static const std::string path = findDecoderProgram();
    return path;
}

// The decoder program with its standard output on the pipe, every signal unblocked and at
// its default; -1 when it cannot be started.
pid_t startDecoder(Decoder decoder, const std::string& path, int pipeEnd) {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (posix_spawn_file_actions_init(&actions) != 0) return -1;
    if (posix_spawnattr_init(&attributes) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return -1;
    }
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawn_file_actions_adddup2(&actions, pipeEnd, STDOUT_FILENO);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setsigdefault(&attributes, &all);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const std::string program = decoderProgram();
    char* const argv[] = {const_cast<char*>(program.c_str()), const_cast<char*>(decoderArgument(decoder)),
                          const_cast<char*>(path.c_str()), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, program.c_str(), &actions, &attributes, argv, environ) != 0) child = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return child;
}

bool exitedCleanly(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::string timeLimitProblem(std::chrono::milliseconds timeLimit) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%g", static_cast<double>(timeLimit.count()) / 1000);
    return std::string("its decoder was still busy after ") + seconds + " s and was stopped";
}

} // namespace

const char* decoderArgument(Decoder decoder) { return decoder == Decoder::radiance ? "radiance" : "devil"; }

LoadedImage decodeInDecoderProgram(Decoder decoder, const std::string& path, std::chrono::milliseconds timeLimit) {
    if (decoderProgram().empty())
        return {cv::Mat(), std::string("the decoder program ") + decoderProgramName + " is not installed"};
    const auto deadline = Clock::now() + timeLimit;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return {cv::Mat(), "no pipe to its decoder could be made"};
    const pid_t child = startDecoder(decoder, path, fds[1]);
    ::close(fds[1]);
    if (child < 0) {
        ::close(fds[0]);
        return {cv::Mat(), std::string("the decoder program ") + decoderProgramName + " could not be started"};
    }
    ReceivedImage received = receiveImage(fds[0], deadline);
    ::close(fds[0]);
    const bool late = !received.complete && Clock::now() >= deadline;
    if (!received.complete) ::kill(child, SIGKILL);
    if (exitedCleanly(child) && received.complete) return {received.image, ""};
    return {cv::Mat(), late ? timeLimitProblem(timeLimit) : "its decoder failed on it"};
}

} // namespace tl
