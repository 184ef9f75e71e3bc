#pragma once

#include <string>

namespace tl {

// The folder that ships the outside tools (exiftool), process-wide. Empty means that
// the tools are looked up on PATH.
void setToolFolder(const std::string& folder);
const std::string& toolFolder();

} // namespace tl
