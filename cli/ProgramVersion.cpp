#include "cli/ProgramVersion.hpp"

const char* programVersion() { return TL_VERSION; }
