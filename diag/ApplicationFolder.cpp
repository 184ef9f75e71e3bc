#include "diag/ApplicationFolder.hpp"

#include "diag/Log.hpp"
#include "output/ToolFolder.hpp"

std::string useApplicationFolder(const std::string& given) {
    const std::string folder = given + "/";
    setToolFolder(folder + "App/Win/x86/");
    setLogFolder(folder);
    return folder;
}
