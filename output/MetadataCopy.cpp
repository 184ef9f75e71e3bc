#include "output/MetadataCopy.hpp"

#include "output/ChildProcess.hpp"
#include "output/ExiftoolCommand.hpp"
#include "output/ExiftoolSession.hpp"
#include "output/ExiftoolSourceLink.hpp"

#include <filesystem>

bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword) {
    namespace fs = std::filesystem;
    const std::string program = exiftoolProgram();
    const ExiftoolSourceLink sourceName(source);
    const std::vector<std::string> arguments = exiftoolArguments(sourceName.path(), written, keyword);
    const std::string backup = written + "_original";
    std::error_code ignored;
    // A backup left from before would hide whether this copy got as far as writing.
    fs::remove(backup, ignored);
    // When the kept-alive exiftool fails it may have rewritten the file before it went:
    // its backup tells, and the copy is not repeated.
    if (!exiftoolSession().run(program, arguments) && !fs::exists(backup, ignored))
        runToEnd(program, arguments);
    fs::remove(backup, ignored);
    return true;
}
