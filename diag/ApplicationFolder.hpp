#pragma once

#include <string>

namespace tl {

// Applies the application folder given on a command line: the folder gets one "/"
// appended (even when it already ends in one), the tool folder becomes that plus
// "App/Win/x86/" and the log file that plus "TessalineLog.txt".
// Returns the application folder.
std::string useApplicationFolder(const std::string& given);

} // namespace tl
