#include "common/FileExtension.hpp"

#include "common/FindString.hpp"

#include <algorithm>
#include <cctype>

namespace tl {

bool hasExtension(const std::string& path, const std::string& extension) {
    if (path.size() < extension.size()) return false;
    return std::equal(extension.begin(), extension.end(), path.end() - extension.size(),
                      [](char wanted, char given) {
                          return wanted == std::tolower(static_cast<unsigned char>(given));
                      });
}

std::string lowerCaseExtension(const std::string& path) {
    const auto dot = path.rfind('.');
    std::string extension = dot == std::string::npos ? path : path.substr(dot + 1);
    for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return extension;
}

const std::string rawExtensions[38] = {
    "3fr", "ari", "arw", "bay", "crw", "cr2", "cap", "dcs", "dcr", "dng", "drf", "eip", "erf",
    "fff", "iiq", "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "obm", "orf", "pef",
    "ptx", "pxn", "r3d", "raf", "raw", "rwl", "rw2", "rwz", "sr2", "srf", "srw", "x3f"};

bool hasRawExtension(const std::string& path) {
    return findString(lowerCaseExtension(path), rawExtensions, 38) >= 0;
}

} // namespace tl
