#include "common/SameFile.hpp"

#include <sys/stat.h>

#include <filesystem>

namespace tl {

bool sameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    if (stat(a.c_str(), &first) != 0 || stat(b.c_str(), &second) != 0) return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

bool samePath(const std::string& a, const std::string& b) {
    if (sameFile(a, b)) return true;
    std::error_code error;
    const auto absoluteA = std::filesystem::absolute(a, error).lexically_normal();
    const auto absoluteB = std::filesystem::absolute(b, error).lexically_normal();
    return !error && absoluteA == absoluteB;
}

bool namesNonRegularFile(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode);
}

} // namespace tl
