#include "output/ExiftoolCommand.hpp"

#include "common/FileExtension.hpp"
#include "common/PlainFile.hpp"
#include "common/ToolFolder.hpp"

namespace tl {

namespace {

bool needsFolderPrefix(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    const char first = path.front();
    return first == '-' || first == '#' || first == ' ' || first == '\t' || path == "@";
}

} // namespace

std::string exiftoolFileArgument(const std::string& path) { return needsFolderPrefix(path) ? "./" + path : path; }

std::string exiftoolProgram() {
    const std::string shipped = toolFolder() + "exiftool";
    if (!toolFolder().empty() && isExecutableFile(shipped)) return shipped;
    return "exiftool";
}

bool exiftoolWritesTagsInto(const std::string& path) {
    for (const char* extension : {".jpg", ".jpeg", ".jpe", ".png", ".tif", ".tiff", ".webp", ".jp2", ".psd"})
        if (hasExtension(path, extension)) return true;
    return false;
}

std::vector<std::string> exiftoolArguments(const std::string& source, const std::string& written,
                                           const std::string& keyword) {
    std::vector<std::string> arguments = {"-q", "-tagsfromfile", exiftoolFileArgument(source),
                                          "-keywords+=" + keyword, "-Firmware=Tessaline"};
    if (hasRawExtension(source)) arguments.push_back("-Orientation#=1");
    arguments.push_back(exiftoolFileArgument(written));
    return arguments;
}

} // namespace tl
