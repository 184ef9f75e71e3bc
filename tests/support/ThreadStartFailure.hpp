#pragma once

#include <sys/resource.h>

#include <fstream>

namespace tl {

// Caps this process's address space a little above what it uses now, so that no new
// thread stack fits and every thread start fails while small allocations still work.
// For a forked child (a death test) only: the cap cannot be lifted again. The
// sanitizers reserve their own memory per thread and cannot run under such a cap.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TL_THREAD_START_FAILURE_POSSIBLE 0
#else
#define TL_THREAD_START_FAILURE_POSSIBLE 1
#endif

inline bool preventThreadStarts() {
    long pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    if (pages <= 0) return false;
    const rlim_t margin = 2 << 20;  // well below one 8 MiB thread stack
    const rlimit cap{static_cast<rlim_t>(pages) * 4096 + margin, static_cast<rlim_t>(pages) * 4096 + margin};
    return setrlimit(RLIMIT_AS, &cap) == 0;
}

} // namespace tl
