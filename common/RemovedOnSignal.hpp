#pragma once

#include <sys/types.h>

#include <csignal>
#include <string>

namespace tl {

// A temporary file or folder of this process that must not outlive it. While the object
// lives, a signal that would end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT) removes the
// path first, and the process then ends as the signal would have ended it. Files are
// removed before folders, so a folder goes once the files registered in it are gone.
//
// A child process that writes into such files (exiftool) is registered too: the signal
// kills it and waits for its end before anything is removed, so that it cannot put a file
// back afterwards.
//
// A last step of the process's own (completing a file that must be left consistent) is
// registered the same way: it runs once the children have ended, before any file is
// removed.
class RemovedOnSignal {
public:
    enum class Kind { file, folder };
    // A function that may run inside a signal handler (async-signal-safe calls only), and
    // what it works on, which must outlive the registration.
    struct LastStep {
        void (*run)(const void* context);
        const void* context;
    };
    RemovedOnSignal(const std::string& path, Kind kind);
    explicit RemovedOnSignal(pid_t child);
    explicit RemovedOnSignal(LastStep step);
    ~RemovedOnSignal();
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

    // Making a temporary file and registering it as one step that a signal cannot cut in
    // two, for the scope of the object: the signals are held back in this thread, and a
    // signal taken on another thread waits for the step to end (two seconds at most) before
    // it removes anything. Once a signal is ending the process, the step does not begin:
    // the thread waits for the end.
    class Creation {
    public:
        Creation();
        ~Creation();
        Creation(const Creation&) = delete;
        Creation& operator=(const Creation&) = delete;

    private:
        sigset_t earlier;
    };

private:
    int slot;
};

} // namespace tl
