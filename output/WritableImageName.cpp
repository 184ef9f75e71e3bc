#include "output/WritableImageName.hpp"

#include "common/DevilLibrary.hpp"
#include "common/FileExtension.hpp"

#include <IL/il.h>
#include <opencv2/imgcodecs.hpp>

#include <exception>

bool isWritableImageName(const std::string& path) {
    if (hasExtension(path, ".hdr")) return true;
    try {
        if (cv::haveImageWriter(path)) return true;
    } catch (const std::exception&) {
        // A name without an extension: OpenCV has no writer for it, DevIL is asked next.
    }
    return requireDevil() && ilTypeFromExt(path.c_str()) != IL_TYPE_UNKNOWN;
}
