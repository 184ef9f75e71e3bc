#pragma once

#include <sys/types.h>

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

private:
    bool start(const std::string& program);
    void close();
    bool send(const std::string& text) const;
    bool awaitReady(unsigned long ticket);
    bool readMore();

    std::mutex guard;
    std::string runningProgram;
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
