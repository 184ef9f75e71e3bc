#pragma once

#include <string>

namespace tl {

// Index of the first of the count texts in array that equals value byte for byte
// (same length, case-sensitive), or -1. A count below 1 never looks at the array.
int findString(std::string value, const std::string* array, int count);

} // namespace tl
