#include "cli/CallMode.hpp"
#include "common/FailedWriteSignals.hpp"
#include "common/ImageLibraryThreads.hpp"
#include "merge/MergeCommand.hpp"

#include <iostream>
#include <variant>

int main(int argc, char** argv) {
    runImageLibraryOnOwnThreads();
    ignoreFailedWriteSignals();
    if (isNamedMergeCall(argc, argv)) {
        const auto call = parseNamedMergeCall(argc, argv, std::cout, std::cerr);
        if (const int* status = std::get_if<int>(&call)) return *status;
        return runNamedMergeCommand(std::get<NamedMergeCall>(call));
    }
    const auto settings = parseMergeArguments(argc, argv);
    if (!settings) return refuseIncompleteCall("tessaline", "name the merged image with -o FILE", argc, argv);
    return runMergeCommand(*settings);
}
