#include "common/PathRefusal.hpp"

#include "common/SameFile.hpp"

#include <algorithm>

std::string pathRefusal(const std::string& path, const std::vector<std::string>& inputs) {
    if (path.empty()) return "";
    if (std::any_of(inputs.begin(), inputs.end(), [&](const std::string& input) { return sameFile(path, input); }))
        return "it is one of the input files";
    if (namesNonRegularFile(path)) return "it is not a regular file";
    return "";
}
