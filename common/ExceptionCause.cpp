#include "common/ExceptionCause.hpp"

#include <opencv2/core.hpp>

#include <new>

std::string causeOf(const std::exception& failure) {
    if (dynamic_cast<const std::bad_alloc*>(&failure)) return "There was not enough memory.";
    if (const auto* library = dynamic_cast<const cv::Exception*>(&failure)) {
        if (library->code == cv::Error::StsNoMem) return "There was not enough memory.";
        return "The image library failed: " + library->err + " (" + library->func + ").";
    }
    return failure.what();
}
