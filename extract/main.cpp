#include "common/ProgramStart.hpp"
#include "extract/ExtractCommand.hpp"

#include <malloc.h>

#include <iostream>
#include <variant>

using namespace tl;

int main(int argc, char** argv) {
    // Every frame is a new buffer of several megabytes. Kept in the heap once freed
    // instead of going back to the system, the next frame reuses it without faulting
    // in fresh pages.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    startImageLibrary();
    ignoreFailedWriteSignals();
    if (!isPositionalExtractCall(argc, argv)) {
        const auto call = parseNamedExtractCall(argc, argv, std::cout, std::cerr);
        if (const int* status = std::get_if<int>(&call)) return *status;
        return runNamedExtractCommand(std::get<NamedExtractCall>(call));
    }
    const auto arguments = parseExtractArguments(argc, argv);
    if (const auto* problem = std::get_if<std::string>(&arguments))
        return refusePositionalExtractCall(argc, argv, *problem);
    return runExtractCommand(std::get<ExtractArguments>(arguments));
}
