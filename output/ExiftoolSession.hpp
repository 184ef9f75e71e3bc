#pragma once

#include <sys/types.h>

#include <mutex>
#include <optional>
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

    // Runs one tag copy with the exiftool named program. Returns false when the session
    // cannot do it: an argument holds a line end, or exiftool could not be kept alive
    // (then the session stays closed for the rest of the process). The caller then
    // runs exiftool once for the file.
    bool run(const std::string& program, const std::vector<std::string>& arguments);

    // run in two halves, so that the caller can go on with work of its own while
    // exiftool copies: begin hands the copy over and returns its ticket (0 when the
    // session cannot take it), finish waits until exiftool has done that copy and
    // every one handed over before it, and returns false when it never will.
    unsigned long begin(const std::string& program, const std::vector<std::string>& arguments);
    bool finish(unsigned long ticket);

    // Runs one command that reads (tags of files, say) and returns what exiftool printed
    // for it on its standard output, or nothing when the session cannot run it. Copies
    // handed over before are waited for first, so that their output, which goes on to
    // this program's standard output, stays apart from the answer.
    std::optional<std::string> query(const std::string& program, const std::vector<std::string>& arguments);

    // The file that an exiftool started from now on appends its standard error to, for
    // a person's run whose terminal it would litter ("/dev/null" drops it); empty, the
    // default, leaves it this program's standard error.
    void sendErrorsTo(const std::string& path);

private:
    unsigned long handOver(const std::string& program, const std::vector<std::string>& arguments);
    void giveUp();
    bool start(const std::string& program);
    void close();
    bool send(const std::string& text) const;
    bool awaitReady(unsigned long ticket, std::string* answer = nullptr);
    bool readMore();

    std::mutex guard;
    std::string runningProgram;
    std::string errorFile;
    pid_t child = -1;
    pid_t owner = -1;
    int toExiftool = -1;
    int fromExiftool = -1;
    std::string received;
    unsigned long executed = 0;
    unsigned long completed = 0;
    bool broken = false;
};

// The process-wide session that copyMetadata uses.
ExiftoolSession& exiftoolSession();
