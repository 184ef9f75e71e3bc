#include "output/DevilImage.hpp"

#include "common/DevilLibrary.hpp"

#include <IL/il.h>

#include <string>

namespace tl {

namespace {

// DevIL element type of an OpenCV depth code; 0 when DevIL has none.
ILenum devilType(int depth) {
    switch (depth) {
    case CV_8U: return IL_UNSIGNED_BYTE;
    case CV_8S: return IL_BYTE;
    case CV_16U: return IL_UNSIGNED_SHORT;
    case CV_16S: return IL_SHORT;
    case CV_32S: return IL_INT;
    case CV_32F: return IL_FLOAT;
    case CV_64F: return IL_DOUBLE;
    default: return 0;
    }
}

// DevIL pixel format of a channel count in OpenCV's B, G, R, A order; 0 when none fits.
ILenum devilFormat(int channels) {
    switch (channels) {
    case 1: return IL_LUMINANCE;
    case 2: return IL_LUMINANCE_ALPHA;
    case 3: return IL_BGR;
    case 4: return IL_BGRA;
    default: return 0;
    }
}

// The rows in the order the bound DevIL image keeps them: a new DevIL image starts
// at the lower left, so the rows are normally turned upside down.
cv::Mat rowsForDevil(const cv::Mat& image) {
    if (ilGetInteger(IL_IMAGE_ORIGIN) == IL_ORIGIN_UPPER_LEFT)
        return image.isContinuous() ? image : image.clone();
    cv::Mat flipped;
    cv::flip(image, flipped, 0);
    return flipped;
}

} // namespace

int toDevilImage(cv::InputArray input, const PassedOver& passedOver) {
    const cv::Mat image = input.getMat();
    const ILenum type = devilType(image.depth());
    if (type == 0) {
        if (passedOver)
            passedOver({Failure::Code::elementTypeUnknown, "",
                        "\n\nUnrecognized OpenCv Type " + std::to_string(image.depth()) + "\n"});
        return -1;
    }
    const ILenum format = devilFormat(image.channels());
    if (format == 0 || image.empty() || !requireDevil()) return -1;

    ILuint name = 0;
    ilGenImages(1, &name);
    ilBindImage(name);
    const cv::Mat rows = rowsForDevil(image);
    if (!ilTexImage(static_cast<ILuint>(rows.cols), static_cast<ILuint>(rows.rows), 0,
                    static_cast<ILubyte>(rows.channels()), format, type, rows.data)) {
        ilDeleteImages(1, &name);
        return -1;
    }
    return static_cast<int>(name);
}

} // namespace tl
