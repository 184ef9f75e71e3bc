#pragma once

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// What reading one image file gave: the image, or an empty image and, when it is known,
// why no reader could make one of the file.
struct LoadedImage {
    cv::Mat image;
    // A clause for the report ("it is cut short"); empty when the image is there, or when
    // nothing more is known than that no reader took the file.
    std::string problem;
};

} // namespace tl
