#include "input/ImageLoader.hpp"

#include <opencv2/imgcodecs.hpp>

// Placeholder until the loaders land: OpenCV only.
cv::Mat loadImage(const std::string& path) {
    return cv::imread(path, cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
}
