#include "common/PathRefusal.hpp"

#include "common/SameFile.hpp"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tl {

namespace {

std::string folderOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? "." : parent.string();
}

// Why this user cannot make a file in path's folder; empty when it can.
std::string folderRefusal(const std::string& path) {
    const std::string folder = folderOf(path);
    if (access(folder.c_str(), W_OK | X_OK) == 0) return "";
    return "its folder '" + folder + "' cannot take a new file: " + std::strerror(errno);
}

} // namespace

std::string fileRefusal(const std::string& path) {
    if (access(path.c_str(), F_OK) != 0 || access(path.c_str(), W_OK) == 0) return "";
    return errno == EACCES ? "it is read-only" : std::string("it cannot be written: ") + std::strerror(errno);
}

std::string pathRefusal(const std::string& path, const std::vector<std::string>& inputs) {
    if (path.empty()) return "";
    if (std::any_of(inputs.begin(), inputs.end(), [&](const std::string& input) { return samePath(path, input); }))
        return "it is one of the input files";
    if (namesNonRegularFile(path)) return "it is not a regular file";
    if (std::string refusal = fileRefusal(path); !refusal.empty()) return refusal;
    if (access(path.c_str(), F_OK) != 0) return folderRefusal(path);
    return "";
}

std::string replacementRefusal(const std::string& path, const std::vector<std::string>& inputs) {
    if (std::string refusal = pathRefusal(path, inputs); !refusal.empty() || path.empty()) return refusal;
    return folderRefusal(path);
}

} // namespace tl
