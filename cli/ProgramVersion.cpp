#include "cli/ProgramVersion.hpp"

namespace tl {

const char* programVersion() { return TL_VERSION; }

} // namespace tl
