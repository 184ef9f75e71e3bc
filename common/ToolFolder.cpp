#include "common/ToolFolder.hpp"

namespace tl {

namespace {
std::string& toolFolderStorage() {
    static std::string folder;
    return folder;
}
} // namespace

void setToolFolder(const std::string& folder) { toolFolderStorage() = folder; }

const std::string& toolFolder() { return toolFolderStorage(); }

} // namespace tl
