#include "diag/ApplicationFolder.hpp"

#include "common/ToolFolder.hpp"
#include "diag/Log.hpp"

namespace tl {

std::string useApplicationFolder(const std::string& given) {
    const std::string folder = given + "/";
    setToolFolder(folder + "App/Win/x86/");
    setLogFolder(folder);
    return folder;
}

} // namespace tl
