#include "output/ExiftoolCommand.hpp"

#include "input/RawExtensions.hpp"
#include "output/ToolFolder.hpp"

#include <unistd.h>

#include <filesystem>

namespace {

bool needsFolderPrefix(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    const char first = path.front();
    return first == '-' || first == '#' || first == ' ' || first == '\t' || path == "@";
}

std::string asFileArgument(const std::string& path) {
    return needsFolderPrefix(path) ? "./" + path : path;
}

} // namespace

std::string exiftoolProgram() {
    const std::string shipped = toolFolder() + "exiftool";
    std::error_code error;
    if (!toolFolder().empty() && std::filesystem::is_regular_file(shipped, error) &&
        access(shipped.c_str(), X_OK) == 0)
        return shipped;
    return "exiftool";
}

std::vector<std::string> exiftoolArguments(const std::string& source, const std::string& written,
                                           const std::string& keyword) {
    std::vector<std::string> arguments = {"-q", "-tagsfromfile", asFileArgument(source),
                                          "-keywords+=" + keyword, "-Firmware=Tessaline"};
    if (hasRawExtension(source)) arguments.push_back("-Orientation#=1");
    arguments.push_back(asFileArgument(written));
    return arguments;
}
