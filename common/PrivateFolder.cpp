#include "common/PrivateFolder.hpp"

#include <cstdlib>
#include <filesystem>

namespace tl {

namespace fs = std::filesystem;

PrivateFolder::PrivateFolder(const std::string& prefix) {
    std::error_code error;
    std::string pattern = (fs::temp_directory_path(error) / (prefix + "-XXXXXX")).string();
    if (error) return;
    const RemovedOnSignal::Creation creation;
    if (!mkdtemp(pattern.data())) return;
    folder = pattern;
    guard = std::make_unique<RemovedOnSignal>(folder, RemovedOnSignal::Kind::folder);
}

PrivateFolder::~PrivateFolder() {
    if (folder.empty()) return;
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

} // namespace tl
