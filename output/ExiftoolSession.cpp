#include "output/ExiftoolSession.hpp"

#include "output/ChildProcess.hpp"

#include "common/RemovedOnSignal.hpp"

#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <string_view>
#include <cstdio>
#include <fcntl.h>

extern char** environ;

namespace tl {

namespace {

bool fitsOnOneLine(const std::vector<std::string>& arguments) {
    return std::none_of(arguments.begin(), arguments.end(), [](const std::string& argument) {
        return argument.find_first_of("\r\n") != std::string::npos;
    });
}

// The child side, between fork and exec: only async-signal-safe calls. exiftool dies
// with its parent instead of polling its closed input for ever. errors, when not empty,
// is the file its standard error is appended to when that file exists, and /dev/null
// when it does not (no log file is made for exiftool's words alone).
[[noreturn]] void becomeExiftool(const char* path, char* const* argv, pid_t parent, int input, int output,
                                 const char* errors) {
    if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(127);
    unblockSignalsInChild();
    if (dup2(input, STDIN_FILENO) < 0 || dup2(output, STDOUT_FILENO) < 0) _exit(127);
    if (errors[0] != '\0') {
        int error = open(errors, O_WRONLY | O_APPEND | O_NONBLOCK);
        if (error < 0) error = open("/dev/null", O_WRONLY);
        if (error < 0 || dup2(error, STDERR_FILENO) < 0) _exit(127);
    }
    execve(path, argv, environ);
    _exit(127);
}

// The number of a "{readyN}" line, which exiftool prints when it has done the copy sent
// with "-executeN"; 0 for any other line.
// Longer than any answer of a query (one short line per file), and far longer than a
// "{ready}" line: exiftool output past it is a flood, not an answer.
constexpr std::size_t longestAnswer = 1 << 20;
// A line of stray output is dropped once this long, but for its end, where a "{ready}"
// line may begin.
constexpr std::size_t longestStrayLine = 1 << 16;
constexpr std::size_t strayTailKept = 64;

unsigned long readyNumber(std::string_view line) {
    const std::string_view opening = "{ready";
    if (!line.starts_with(opening) || !line.ends_with("}")) return 0;
    const char* first = line.data() + opening.size();
    const char* last = line.data() + line.size() - 1;
    unsigned long number = 0;
    const auto [end, error] = std::from_chars(first, last, number);
    return error == std::errc() && end == last ? number : 0;
}

void closeDescriptor(int& descriptor) {
    if (descriptor >= 0) ::close(descriptor);
    descriptor = -1;
}

} // namespace

ExiftoolSession::~ExiftoolSession() { close(); }

unsigned long ExiftoolSession::begin(const std::string& program, const std::vector<std::string>& arguments) {
    const std::lock_guard<std::mutex> lock(guard);
    return handOver(program, arguments);
}

void ExiftoolSession::sendErrorsTo(const std::string& path) {
    const std::lock_guard<std::mutex> lock(guard);
    errorFile = path;
}

unsigned long ExiftoolSession::beginQuery(const std::string& program, const std::vector<std::string>& arguments) {
    const std::lock_guard<std::mutex> lock(guard);
    if (child > 0 && completed < executed) {
        const Reply earlier = awaitReady(executed, std::chrono::steady_clock::now() + deadline);
        if (earlier != Reply::ready) {
            abandon(earlier);
            return 0;
        }
    }
    return handOver(program, arguments);
}

std::optional<std::string> ExiftoolSession::finishQuery(unsigned long ticket) {
    const std::lock_guard<std::mutex> lock(guard);
    if (ticket == 0 || ticket <= lost || child <= 0 || ticket <= completed) return std::nullopt;
    std::string answer;
    const Reply reply = awaitReady(ticket, std::chrono::steady_clock::now() + deadline, &answer);
    if (reply == Reply::ready) return answer;
    abandon(reply);
    return std::nullopt;
}

// Called with the guard held.
unsigned long ExiftoolSession::handOver(const std::string& program, const std::vector<std::string>& arguments) {
    if (broken || retired || !fitsOnOneLine(arguments)) return 0;
    if (child > 0 && program != runningProgram) close();
    if (child <= 0 && !start(program)) {
        broken = true;
        return 0;
    }
    std::string text;
    for (const std::string& argument : arguments) text += argument + "\n";
    const unsigned long ticket = ++executed;
    text += "-execute" + std::to_string(ticket) + "\n";
    std::fflush(stdout);
    if (send(text)) return ticket;
    close();
    broken = true;
    return 0;
}

ExiftoolSession::Outcome ExiftoolSession::finish(unsigned long ticket) {
    const std::lock_guard<std::mutex> lock(guard);
    if (ticket == 0) return retired ? Outcome::givenUp : Outcome::notTaken;
    if (ticket <= completed) return Outcome::done;
    if (ticket <= lost || child <= 0) return retired ? Outcome::givenUp : Outcome::ended;
    const Reply reply = awaitReady(ticket, std::chrono::steady_clock::now() + deadline);
    if (reply == Reply::ready) return Outcome::done;
    abandon(reply);
    return reply == Reply::ended ? Outcome::ended : Outcome::silent;
}

// An exiftool that went away is not kept alive again; a silent one is stopped and given up.
void ExiftoolSession::abandon(Reply reply) {
    stop();
    if (reply == Reply::ended) broken = true;
    if (reply == Reply::silent) retired = true;
}

ExiftoolSession::Outcome ExiftoolSession::runAlone(const std::string& program,
                                                   const std::vector<std::string>& arguments) {
    std::string errors;
    std::chrono::milliseconds limit;
    {
        const std::lock_guard<std::mutex> lock(guard);
        if (retired) return Outcome::givenUp;
        errors = errorFile;
        limit = deadline;
    }
    switch (runToEnd(program, arguments, limit, errors)) {
    case RunEnd::ended: return Outcome::done;
    case RunEnd::notStarted: return Outcome::notStarted;
    case RunEnd::stopped: break;
    }
    const std::lock_guard<std::mutex> lock(guard);
    retired = true;
    return Outcome::silent;
}

bool ExiftoolSession::givenUp() {
    const std::lock_guard<std::mutex> lock(guard);
    return retired;
}

void ExiftoolSession::setCopyDeadline(std::chrono::milliseconds limit) {
    const std::lock_guard<std::mutex> lock(guard);
    deadline = limit;
}

std::chrono::milliseconds ExiftoolSession::copyDeadline() const { return deadline; }

bool ExiftoolSession::start(const std::string& program) {
    const std::string path = findProgram(program);
    if (path.empty()) return false;
    int input[2], output[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) return false;
    if (pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        return false;
    }
    const std::vector<std::string> arguments = {"-stay_open", "True", "-@", "-"};
    const std::vector<char*> argv = argumentVector(path, arguments);

    const pid_t parent = getpid();
    pid_t started;
    {
        // Started and registered as one step: once a signal is ending the process, no
        // exiftool starts (the thread waits for the end), and one started before is ended.
        const RemovedOnSignal::Creation creation;
        started = fork();
        if (started == 0) becomeExiftool(path.c_str(), argv.data(), parent, input[1], output[1], errorFile.c_str());
        if (started > 0) childGuard = std::make_unique<RemovedOnSignal>(started);
    }
    ::close(input[1]);
    ::close(output[1]);
    if (started < 0) {
        ::close(input[0]);
        ::close(output[0]);
        return false;
    }
    child = started;
    owner = parent;
    toExiftool = input[0];
    fromExiftool = output[0];
    runningProgram = program;
    received.clear();
    return true;
}

// Asks exiftool to end, lets it finish and collects it. A process that forked from
// ours has a copy of this object but not the child, and leaves it alone.
void ExiftoolSession::close() {
    if (child <= 0) return;
    if (getpid() == owner) {
        const auto limit = std::chrono::steady_clock::now() + deadline;
        // Copies still under way are let finish, so that their tickets come true.
        if (completed < executed && awaitReady(executed, limit) != Reply::ready) {
            stop();
            return;
        }
        send("-stay_open\nFalse\n");
        closeDescriptor(toExiftool);
        while (readMore(limit) == Reply::ready) received.clear();
        closeDescriptor(fromExiftool);
        waitForExit(child, std::chrono::duration_cast<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now()));
    }
    child = -1;
    childGuard.reset();
    received.clear();
}

// Ends an exiftool that stopped answering or went away: what it still holds is lost.
void ExiftoolSession::stop() {
    if (child <= 0) return;
    if (getpid() == owner) {
        closeDescriptor(toExiftool);
        closeDescriptor(fromExiftool);
        waitForExit(child, std::chrono::milliseconds(0));
    }
    child = -1;
    childGuard.reset();
    received.clear();
    lost = executed;
}

bool ExiftoolSession::send(const std::string& text) const {
    std::size_t sent = 0;
    while (sent < text.size()) {
        // MSG_NOSIGNAL: an exiftool that died must not take this process with it.
        const ssize_t count = ::send(toExiftool, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

// Reads exiftool's output up to the ready line of ticket or of a later copy. Anything
// else it prints there goes into answer when given, and is dropped otherwise. An answer
// that grows past any real one counts as silence.
ExiftoolSession::Reply ExiftoolSession::awaitReady(unsigned long ticket, std::chrono::steady_clock::time_point limit,
                                                   std::string* answer) {
    for (;;) {
        // The lines are taken from the front of what was received and dropped from it at
        // once, so that a flood of short lines costs no more than one long one.
        std::size_t start = 0;
        std::size_t end;
        while ((end = received.find('\n', start)) != std::string::npos) {
            const std::string_view line(received.data() + start, end - start);
            start = end + 1;
            if (const unsigned long number = readyNumber(line)) {
                completed = std::max(completed, number);
                if (completed < ticket) continue;
                received.erase(0, start);
                return Reply::ready;
            }
            if (answer) {
                *answer += line;
                *answer += '\n';
            }
        }
        received.erase(0, start);
        if (answer && answer->size() + received.size() > longestAnswer) return Reply::silent;
        if (!answer && received.size() > longestStrayLine) received.erase(0, received.size() - strayTailKept);
        const Reply more = readMore(limit);
        if (more != Reply::ready) return more;
    }
}

// Reads what exiftool has printed, waiting for it until limit.
ExiftoolSession::Reply ExiftoolSession::readMore(std::chrono::steady_clock::time_point limit) {
    char buffer[1 << 16];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(limit - std::chrono::steady_clock::now());
        if (left.count() <= 0) return Reply::silent;
        pollfd reply{fromExiftool, POLLIN, 0};
        const int ready = ::poll(&reply, 1, static_cast<int>(std::min<long long>(left.count(), 60'000)));
        if (ready < 0 && errno != EINTR) return Reply::ended;
        if (ready <= 0) continue;
        const ssize_t count = ::read(fromExiftool, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return Reply::ended;
        received.append(buffer, static_cast<std::size_t>(count));
        return Reply::ready;
    }
}

ExiftoolSession& exiftoolSession() {
    static ExiftoolSession session;
    return session;
}

} // namespace tl
