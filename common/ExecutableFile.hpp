#pragma once

#include <string>

// Whether path names a regular file (after following links) that this process may run.
bool isExecutableFile(const std::string& path);
