#include "extract/MemoryHeadroom.hpp"

#include <sys/mman.h>

namespace tl {

bool memoryRunsShort(std::size_t bytes) {
    // Mapped, not touched: the mapping counts against the limits without costing a page.
    void* trial = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (trial == MAP_FAILED) return true;
    munmap(trial, bytes);
    return false;
}

} // namespace tl
