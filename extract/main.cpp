#include "common/FailedWriteSignals.hpp"
#include "diag/ApplicationFolder.hpp"
#include "diag/Log.hpp"
#include "extract/ExtractArguments.hpp"
#include "extract/FrameExtraction.hpp"

#include <malloc.h>

#include <exception>

int main(int argc, char** argv) {
    // Every frame is a new buffer of several megabytes. Kept in the heap once freed
    // instead of going back to the system, the next frame reuses it without faulting
    // in fresh pages.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    ignoreFailedWriteSignals();
    const auto arguments = parseExtractArguments(argc, argv);
    if (!arguments) return 1;
    if (arguments->applicationFolder) useApplicationFolder(*arguments->applicationFolder);
    try {
        return extractFrames(*arguments);
    } catch (const std::exception& e) {
        reportError("main", std::string("The frame extraction stopped: ") + e.what());
        return 1;
    }
}
