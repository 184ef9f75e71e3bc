#include "merge/ImageSizeCheck.hpp"

#include "input/ImageHeader.hpp"
#include "input/ImageLoader.hpp"

#include <optional>

namespace {

std::optional<cv::Size> sizeOfImage(const std::string& path) {
    if (std::optional<cv::Size> size = imageSizeFromHeader(path)) return size;
    const cv::Mat image = loadImage(path);
    return image.empty() ? std::nullopt : std::optional<cv::Size>(image.size());
}

std::string sizeText(cv::Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

} // namespace

std::string imageSizeProblem(const ImageList& images) {
    const std::string& instant = images.paths.at(static_cast<std::size_t>(images.instantIndex));
    const std::optional<cv::Size> instantSize = sizeOfImage(instant);
    if (!instantSize) return "'" + instant + "' cannot be read as an image";
    for (const std::string& image : images.paths) {
        const std::optional<cv::Size> size = image == instant ? instantSize : sizeOfImage(image);
        if (!size) return "'" + image + "' cannot be read as an image";
        if (*size != *instantSize)
            return "'" + image + "' is " + sizeText(*size) + ", but the instant image '" + instant + "' is " +
                   sizeText(*instantSize);
    }
    return "";
}
