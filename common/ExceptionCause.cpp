#include "common/ExceptionCause.hpp"

#include <opencv2/core.hpp>

#include <new>

namespace tl {

const std::string notEnoughMemory = "There was not enough memory.";

bool isMemoryFailure(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return true;
    const auto* library = dynamic_cast<const cv::Exception*>(&failure);
    return library && library->code == cv::Error::StsNoMem;
}

std::string causeOf(const std::exception& failure) {
    if (isMemoryFailure(failure)) return notEnoughMemory;
    if (const auto* library = dynamic_cast<const cv::Exception*>(&failure)) {
        return "The image library failed: " + library->err + " (" + library->func + ").";
    }
    return failure.what();
}

} // namespace tl
