#pragma once

#include "common/RemovedOnSignal.hpp"

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tl {

// One exiftool kept alive for the whole run in its "-stay_open True -@ -" mode: each
// tag copy is sent on its standard input, one argument per line and ended by a
// numbered -execute, and is done when exiftool answers with the matching "{ready}"
// line. Starting exiftool costs far more than a tag copy, so a run that writes many
// files starts it once. The process is started at the first copy and told to end when
// the session goes at process end; should this process die first, the kernel ends it.
//
// An exiftool that does not finish a copy within the deadline is stopped, and exiftool is
// given up for the rest of the process: no copy is handed to it and none is run
// separately, so that a run of many files waits for the deadline once, not once per file.
// What exiftool prints on its standard output besides its answers is dropped, and an
// answer longer than any real one ends it, so that an exiftool flooding its output costs
// this process no memory.
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
        givenUp,   // exiftool was given up earlier: nothing was done
        notStarted,  // a separate exiftool could not be started
    };

    // A copy in two halves, so that the caller can go on with work of its own while
    // exiftool copies: begin hands the copy over and returns its ticket (0 when the
    // session cannot take it: an argument holds a line end, or exiftool could not be
    // kept alive, after which the session stays closed for the rest of the process);
    // finish waits until exiftool has done that copy and every one handed over before it,
    // but no longer than the deadline per copy. A silent exiftool is stopped and given up.
    unsigned long begin(const std::string& program, const std::vector<std::string>& arguments);
    Outcome finish(unsigned long ticket);

    // A copy that the kept-alive exiftool could not take, run by an exiftool of its own
    // (see runToEnd), with its standard error where the session sends exiftool's errors:
    // done when it ended, silent when it was stopped at the deadline (which gives exiftool
    // up), notStarted, or givenUp without a start.
    Outcome runAlone(const std::string& program, const std::vector<std::string>& arguments);

    // Whether exiftool has been given up for the rest of the process.
    bool givenUp();

    // How long one copy may take, 60 seconds unless set.
    void setCopyDeadline(std::chrono::milliseconds deadline);
    std::chrono::milliseconds copyDeadline() const;

    // A command that reads (tags of files, say), in two halves like a copy: beginQuery
    // hands it over and returns its ticket (0 when the session cannot take it), after
    // waiting for the copies handed over before, so that their output, which goes on to
    // this program's standard output, stays apart from the answer; finishQuery returns
    // what exiftool printed for it on its standard output, or nothing when it never will
    // (within the deadline).
    unsigned long beginQuery(const std::string& program, const std::vector<std::string>& arguments);
    std::optional<std::string> finishQuery(unsigned long ticket);

    // The file that an exiftool started from now on appends its standard error to, for
    // a run whose standard error it would litter ("/dev/null" drops it, and so does a file
    // that does not exist yet); empty, the default, leaves it this program's standard error.
    void sendErrorsTo(const std::string& path);

private:
    enum class Reply { ready, ended, silent };

    unsigned long handOver(const std::string& program, const std::vector<std::string>& arguments);
    void abandon(Reply reply);

    bool start(const std::string& program);
    void close();
    void stop();
    bool send(const std::string& text) const;
    Reply awaitReady(unsigned long ticket, std::chrono::steady_clock::time_point deadline,
                     std::string* answer = nullptr);
    Reply readMore(std::chrono::steady_clock::time_point deadline);

    std::mutex guard;
    std::string runningProgram;
    std::string errorFile;
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
    bool retired = false;  // given up after a silent exiftool
    std::chrono::milliseconds deadline{60'000};
};

// The process-wide session that copyMetadata uses.
ExiftoolSession& exiftoolSession();

} // namespace tl
