#include "common/RawExtensions.hpp"

#include "common/FileExtension.hpp"
#include "common/FindString.hpp"

const std::string rawExtensions[38] = {
    "3fr", "ari", "arw", "bay", "crw", "cr2", "cap", "dcs", "dcr", "dng", "drf", "eip", "erf",
    "fff", "iiq", "k25", "kdc", "mdc", "mef", "mos", "mrw", "nef", "nrw", "obm", "orf", "pef",
    "ptx", "pxn", "r3d", "raf", "raw", "rwl", "rw2", "rwz", "sr2", "srf", "srw", "x3f"};

bool hasRawExtension(const std::string& path) {
    return findString(lowerCaseExtension(path), rawExtensions, 38) >= 0;
}
