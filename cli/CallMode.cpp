#include "cli/CallMode.hpp"

#include <cctype>
#include <cstdio>

namespace {

bool isDigit(char c) { return std::isdigit(static_cast<unsigned char>(c)) != 0; }

bool namesOutputOrAsksForHelp(const std::string& argument) {
    return argument.starts_with("-o") || argument == "--output" || argument.starts_with("--output=") ||
           argument == "-h" || argument == "--help" || argument == "--version";
}

} // namespace

bool beginsWithNumber(const std::string& text) {
    std::size_t i = 0;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    if (i < text.size() && text[i] == '.') ++i;
    return i < text.size() && isDigit(text[i]);
}

bool asksForNamedOptions(int argc, const char* const* argv) {
    if (argc < 2) return false;
    const std::string first = argv[1];
    if (!first.empty() && !first.starts_with("-") && !beginsWithNumber(first)) return true;
    for (int i = 1; i < argc; ++i)
        if (namesOutputOrAsksForHelp(argv[i])) return true;
    return false;
}

int refuseIncompleteCall(const std::string& program, const std::string& hint, int argc, const char* const* argv) {
    if (argc < 2 || !beginsWithNumber(argv[1]))
        std::fprintf(stderr, "%s: %s (see %s --help)\n", program.c_str(), hint.c_str(), program.c_str());
    return 1;
}
