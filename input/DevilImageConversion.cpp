#include "input/DevilImageConversion.hpp"

#include <IL/il.h>

#include <vector>

namespace tl {

namespace {

// OpenCV element depth for a DevIL data type; -1 when OpenCV has none (IL_UNSIGNED_INT,
// IL_HALF).
int depthOf(ILint type) {
    switch (type) {
    case IL_BYTE: return CV_8S;
    case IL_UNSIGNED_BYTE: return CV_8U;
    case IL_SHORT: return CV_16S;
    case IL_UNSIGNED_SHORT: return CV_16U;
    case IL_INT: return CV_32S;
    case IL_FLOAT: return CV_32F;
    case IL_DOUBLE: return CV_64F;
    default: return -1;
    }
}

struct ChannelLayout {
    int storedChannels;
    std::vector<int> kept; // the stored channel behind each output channel
};

// DevIL keeps some formats (TGA, BMP, Sun raster) as BGR and others as RGB, so the
// order comes from the format, never from a fixed swap.
bool layoutOf(ILint format, ChannelLayout& layout) {
    switch (format) {
    case IL_RGB: layout = {3, {2, 1, 0}}; return true;
    case IL_RGBA: layout = {4, {2, 1, 0}}; return true;
    case IL_BGR: layout = {3, {0, 1, 2}}; return true;
    case IL_BGRA: layout = {4, {0, 1, 2}}; return true;
    case IL_LUMINANCE:
    case IL_ALPHA: layout = {1, {0}}; return true;
    case IL_LUMINANCE_ALPHA: layout = {2, {0}}; return true;
    default: return false;
    }
}

// The bound image's pixels as an OpenCV header over DevIL's buffer, or an empty image
// when DevIL's own figures do not add up (a malformed file must not make us read past
// the buffer).
cv::Mat storedPixels(int depth, int channels) {
    const ILint width = ilGetInteger(IL_IMAGE_WIDTH);
    const ILint height = ilGetInteger(IL_IMAGE_HEIGHT);
    ILubyte* data = ilGetData();
    if (width <= 0 || height <= 0 || !data) return cv::Mat();
    const std::size_t bytes = std::size_t(width) * std::size_t(height) * std::size_t(channels) *
                              std::size_t(CV_ELEM_SIZE1(depth));
    const ILint available = ilGetInteger(IL_IMAGE_SIZE_OF_DATA);
    if (available <= 0 || bytes > std::size_t(available)) return cv::Mat();
    return cv::Mat(height, width, CV_MAKETYPE(depth, channels), data);
}

cv::Mat reorderChannels(const cv::Mat& stored, const ChannelLayout& layout) {
    const int outputChannels = int(layout.kept.size());
    cv::Mat result(stored.size(), CV_MAKETYPE(stored.depth(), outputChannels));
    std::vector<int> fromTo;
    for (int i = 0; i < outputChannels; ++i) fromTo.insert(fromTo.end(), {layout.kept[i], i});
    cv::mixChannels(&stored, 1, &result, 1, fromTo.data(), std::size_t(outputChannels));
    return result;
}

} // namespace

cv::Mat convertDevILImage() {
    ILint format = ilGetInteger(IL_IMAGE_FORMAT);
    if (format == IL_COLOUR_INDEX) {
        if (!ilConvertImage(IL_RGB, IL_UNSIGNED_BYTE)) return cv::Mat();
        format = IL_RGB;
    }
    const int depth = depthOf(ilGetInteger(IL_IMAGE_TYPE));
    ChannelLayout layout;
    if (depth < 0 || !layoutOf(format, layout)) return cv::Mat();
    if (ilGetInteger(IL_IMAGE_CHANNELS) != layout.storedChannels) return cv::Mat();
    const cv::Mat stored = storedPixels(depth, layout.storedChannels);
    if (stored.empty()) return cv::Mat();
    cv::Mat image = reorderChannels(stored, layout);
    if (ilGetInteger(IL_IMAGE_ORIGIN) != IL_ORIGIN_UPPER_LEFT) cv::flip(image, image, 0);
    return image;
}

} // namespace tl
