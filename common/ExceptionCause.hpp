#pragma once

#include <exception>
#include <string>

namespace tl {

// What went wrong, as one sentence for the log: "There was not enough memory." for an
// allocation that failed (std::bad_alloc, or the image library's out-of-memory error), the
// image library's own description of any other failure of its, the exception's text else.
std::string causeOf(const std::exception& failure);

// What causeOf says of an allocation that failed.
extern const std::string notEnoughMemory;

// Whether failure is an allocation that failed: std::bad_alloc, or the image library's
// out-of-memory error.
bool isMemoryFailure(const std::exception& failure);

} // namespace tl
