#pragma once

#include <fstream>
#include <string>

// Resident set size figures of this process, in kibibytes ("VmRSS", "VmHWM").
inline long statusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Starts a fresh peak: the kernel sets the high-water mark back to the current size.
inline void resetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }
