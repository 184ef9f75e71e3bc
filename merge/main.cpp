#include "common/ProgramStart.hpp"
#include "merge/MergeCommand.hpp"

#include <iostream>
#include <variant>

using namespace tl;

int main(int argc, char** argv) {
    startImageLibrary();
    ignoreFailedWriteSignals();
    if (!isPositionalMergeCall(argc, argv)) {
        const auto call = parseNamedMergeCall(argc, argv, std::cout, std::cerr);
        if (const int* status = std::get_if<int>(&call)) return *status;
        return runNamedMergeCommand(std::get<NamedMergeCall>(call));
    }
    const auto call = parseMergeArguments(argc, argv);
    if (const auto* problem = std::get_if<std::string>(&call)) return refusePositionalMergeCall(argc, argv, *problem);
    return runMergeCommand(std::get<MergeSettings>(call));
}
