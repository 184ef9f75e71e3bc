#pragma once

#include <string>

// A temporary file or folder of this process that must not outlive it. While the object
// lives, a signal that would end the process (SIGINT, SIGTERM, SIGHUP, SIGQUIT) removes the
// path first, and the process then ends as the signal would have ended it. Files are
// removed before folders, so a folder goes once the files registered in it are gone.
class RemovedOnSignal {
public:
    enum class Kind { file, folder };
    RemovedOnSignal(const std::string& path, Kind kind);
    ~RemovedOnSignal();
    RemovedOnSignal(const RemovedOnSignal&) = delete;
    RemovedOnSignal& operator=(const RemovedOnSignal&) = delete;

private:
    int slot;
};
