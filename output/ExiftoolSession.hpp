#pragma once

#include "common/RemovedOnSignal.hpp"

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One exiftool kept alive for the whole run in its "-stay_open True -@ -" mode: each
// tag copy is sent on its standard input, one argument per line and ended by a
// numbered -execute, and is done when exiftool answers with the matching "{ready}"
// line. Starting exiftool costs far more than a tag copy, so a run that writes many
// files starts it once. The process is started at the first copy and told to end when
// the session goes at process end; should this process die first, the kernel ends it.
class ExiftoolSession {
public:
    ExiftoolSession() = default;
    ~ExiftoolSession();
    ExiftoolSession(const ExiftoolSession&) = delete;
    ExiftoolSession& operator=(const ExiftoolSession&) = delete;

    // How a copy handed to the session ended.
    enum class Outcome {
        done,      // exiftool answered that it has done the copy
        notTaken,  // the session could not take it: the caller runs exiftool once for it
        ended,     // exiftool went away without answering; it is not kept alive again
        silent,    // exiftool did not answer within the deadline and was stopped
    };

    // A copy in two halves, so that the caller can go on with work of its own while
    // exiftool copies: begin hands the copy over and returns its ticket (0 when the
    // session cannot take it: an argument holds a line end, or exiftool could not be
    // kept alive, after which the session stays closed for the rest of the process);
    // finish waits until exiftool has done that copy and every one handed over before it,
    // but no longer than the deadline per copy. A silent exiftool is stopped, and the next
    // copy starts a fresh one.
    unsigned long begin(const std::string& program, const std::vector<std::string>& arguments);
    Outcome finish(unsigned long ticket);

    // How long one copy may take, 60 seconds unless set.
    void setCopyDeadline(std::chrono::milliseconds deadline);
    std::chrono::milliseconds copyDeadline() const;

private:
    enum class Reply { ready, ended, silent };

    bool start(const std::string& program);
    void close();
    void stop();
    bool send(const std::string& text) const;
    Reply awaitReady(unsigned long ticket, std::chrono::steady_clock::time_point deadline);
    Reply readMore(std::chrono::steady_clock::time_point deadline);

    std::mutex guard;
    std::string runningProgram;
    pid_t child = -1;
    std::unique_ptr<RemovedOnSignal> childGuard;  // a signal that ends us ends exiftool first
    pid_t owner = -1;
    int toExiftool = -1;
    int fromExiftool = -1;
    std::string received;
    unsigned long executed = 0;
    unsigned long completed = 0;
    unsigned long lost = 0;  // copies up to this one went with a stopped exiftool
    bool broken = false;
    std::chrono::milliseconds deadline{60'000};
};

// The process-wide session that copyMetadata uses.
ExiftoolSession& exiftoolSession();
