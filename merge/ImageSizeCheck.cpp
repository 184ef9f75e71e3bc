#include "merge/ImageSizeCheck.hpp"

#include "input/ImageHeader.hpp"
#include "input/ImageLoader.hpp"

#include <optional>

namespace tl {

namespace {

// The size of the image at path, or why it cannot be read.
struct ImageSize {
    std::optional<cv::Size> size;
    std::string problem;
};

ImageSize sizeOfImage(const std::string& path) {
    if (std::optional<cv::Size> size = imageSizeFromHeader(path)) return {size, ""};
    const LoadedImage loaded = loadImage(path);
    if (loaded.image.empty()) return {std::nullopt, loaded.problem};
    return {loaded.image.size(), ""};
}

std::string unreadable(const std::string& path, const ImageSize& size) {
    return "'" + path + "' cannot be read as an image" + (size.problem.empty() ? "" : ": " + size.problem);
}

std::string sizeText(cv::Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

} // namespace

std::string imageSizeProblem(const ImageList& images) {
    const std::string& instant = images.paths.at(static_cast<std::size_t>(images.instantIndex));
    const ImageSize instantSize = sizeOfImage(instant);
    if (!instantSize.size) return unreadable(instant, instantSize);
    for (const std::string& image : images.paths) {
        const ImageSize size = image == instant ? instantSize : sizeOfImage(image);
        if (!size.size) return unreadable(image, size);
        if (*size.size != *instantSize.size)
            return "'" + image + "' is " + sizeText(*size.size) + ", but the instant image '" + instant + "' is " +
                   sizeText(*instantSize.size);
    }
    return "";
}

} // namespace tl
