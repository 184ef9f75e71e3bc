#include "output/MetadataCopy.hpp"

#include "output/ChildProcess.hpp"
#include "output/ExiftoolCommand.hpp"

#include <filesystem>

bool copyMetadata(const std::string& source, const std::string& written, const std::string& keyword) {
    runToEnd(exiftoolProgram(), exiftoolArguments(source, written, keyword));
    std::error_code ignored;
    std::filesystem::remove(written + "_original", ignored);
    return true;
}
