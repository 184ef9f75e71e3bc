#include "cli/CallMode.hpp"
#include "common/FailedWriteSignals.hpp"
#include "extract/ExtractCommand.hpp"

#include <malloc.h>

#include <iostream>
#include <variant>

int main(int argc, char** argv) {
    // Every frame is a new buffer of several megabytes. Kept in the heap once freed
    // instead of going back to the system, the next frame reuses it without faulting
    // in fresh pages.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    ignoreFailedWriteSignals();
    if (isNamedExtractCall(argc, argv)) {
        const auto call = parseNamedExtractCall(argc, argv, std::cout, std::cerr);
        if (const int* status = std::get_if<int>(&call)) return *status;
        return runNamedExtractCommand(std::get<NamedExtractCall>(call));
    }
    const auto arguments = parseExtractArguments(argc, argv);
    if (!arguments) return refuseIncompleteCall("kadrimo", "name the video and the frames' folder: VIDEO -o FOLDER", argc, argv);
    return runExtractCommand(*arguments);
}
