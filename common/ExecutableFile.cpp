#include "common/ExecutableFile.hpp"

#include <unistd.h>

#include <filesystem>

bool isExecutableFile(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_regular_file(path, error) && access(path.c_str(), X_OK) == 0;
}
