#pragma once

#include <cstddef>

namespace tl {

// Whether this process could not take bytes more memory now: the address space it may
// use (a limit set with prlimit or ulimit -v, say) or the memory the system commits is
// exhausted. A video library reports a failed allocation as a file it cannot open or a
// frame it cannot decode; asking this after such a failure tells the two apart.
bool memoryRunsShort(std::size_t bytes);

} // namespace tl
