#include "common/FailedWriteSignals.hpp"
#include "merge/MergeCommand.hpp"

#include <cstdio>
#include <cstring>

namespace {

const char* const usage =
    "usage: tessaline GHOST_THRESHOLD GHOSTING_POWER THREADS UNUSED ALIGN UNUSED TILE_SIZE\n"
    "                 PROGRESS_FILE APP_FOLDER OUTPUT BITS INSTANT_IMAGE N EXPOSURE...\n"
    "Merges N exposures and the instant image into one high-dynamic-range image.\n"
    "GHOSTING_POWER below 0 asks for an automatic search radius; ALIGN 1 aligns the\n"
    "exposures; BITS is 8, 16 or 32; an OUTPUT ending in .hdr is a Radiance file.\n"
    "Failures are reported in APP_FOLDER/TessalineLog.txt.\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("tessaline " TL_VERSION);
        return 0;
    }
    ignoreFailedWriteSignals();
    const auto settings = parseMergeArguments(argc, argv);
    return settings ? runMergeCommand(*settings) : 1;
}
