#pragma once

#include <fstream>
#include <string>

namespace tl {

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

// Resident memory that step() adds to this process at its peak, in MiB.
template <typename Step>
double peakAddedMiB(Step&& step) {
    resetPeak();
    const long before = statusKiB("VmRSS");
    step();
    return static_cast<double>(statusKiB("VmHWM") - before) / 1024.0;
}

} // namespace tl
