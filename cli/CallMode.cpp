#include "cli/CallMode.hpp"

#include "cli/NumberText.hpp"

#include <cctype>
#include <cstdio>
#include <filesystem>

namespace tl {

namespace {

bool namesExistingFile(const std::string& argument) {
    std::error_code error;
    return std::filesystem::exists(argument, error);
}

} // namespace

bool beginsLikeNumber(const std::string& argument) {
    std::size_t i = 0;
    if (i < argument.size() && (argument[i] == '+' || argument[i] == '-')) ++i;
    if (i < argument.size() && argument[i] == '.') ++i;
    return i < argument.size() && std::isdigit(static_cast<unsigned char>(argument[i])) &&
           !namesExistingFile(argument);
}

bool isNumberArgument(const std::string& argument) {
    return decimalNumber(argument) && !namesExistingFile(argument);
}

bool holdsOutputOption(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "-o" || argument == "--output" || argument.starts_with("--output="))
            return true;
    }
    return false;
}

int refusePositionalCall(const std::string& program, const std::string& problem) {
    std::fprintf(stderr, "%s: %s (see %s --help)\n", program.c_str(), problem.c_str(), program.c_str());
    return 1;
}

} // namespace tl
