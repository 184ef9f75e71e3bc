#include "output/BitDepthConversion.hpp"

#include <cstdint>

namespace tl {

namespace {

// Scale factors, written out as the double constants the conversion has always used
// so that every converted sample keeps its exact value.
constexpr double byteToWord = 257.0;
constexpr double byteToUnit = 0.00392156862745098;          // 1 / 255
constexpr double wordToUnit = 0.000015259021896696422;      // 1 / 65535
constexpr double wordToByte = 0.0038910505836575876;        // 255 / 65535

// Truncates a scaled float sample towards zero into 0..top. NaN fails the comparison
// and lands on 0 instead of an undefined conversion. Written without branches so that
// the compiler can turn the loop into vector code.
template <typename Integer>
Integer clampTruncate(double scaled, double top) {
    const double low = scaled > 0.0 ? scaled : 0.0;
    return static_cast<Integer>(static_cast<int>(low < top ? low : top));
}

// Applies convert to every sample of source (read as From) into a new continuous image
// of the target depth, row by row so that views into larger images work too.
template <typename From, typename To, typename Convert>
cv::Mat convertSamples(const cv::Mat& source, int targetDepth, Convert convert) {
    cv::Mat target(source.size(), CV_MAKETYPE(targetDepth, source.channels()));
    const int rowLength = source.cols * source.channels();
    for (int y = 0; y < source.rows; ++y) {
        const From* in = source.ptr<From>(y);
        To* out = target.ptr<To>(y);
        for (int i = 0; i < rowLength; ++i) out[i] = convert(in[i]);
    }
    return target;
}

cv::Mat fromBytes(const cv::Mat& source, int requestedBits) {
    if (requestedBits == 8) return source;
    if (requestedBits == 16)
        return convertSamples<std::uint8_t, std::uint16_t>(source, CV_16U, [](std::uint8_t v) {
            return static_cast<std::uint16_t>(v * byteToWord);
        });
    if (requestedBits == 32)
        return convertSamples<std::uint8_t, float>(source, CV_32F, [](std::uint8_t v) {
            return static_cast<float>(v * byteToUnit);
        });
    return convertSamples<std::uint8_t, std::uint8_t>(source, CV_8U, [](std::uint8_t v) { return v; });
}

cv::Mat fromWords(const cv::Mat& source, int requestedBits) {
    if (requestedBits == 16) return source;
    if (requestedBits == 32)
        return convertSamples<std::uint16_t, float>(source, CV_32F, [](std::uint16_t v) {
            return static_cast<float>(v * wordToUnit);
        });
    return convertSamples<std::uint16_t, std::uint8_t>(source, CV_8U, [](std::uint16_t v) {
        return static_cast<std::uint8_t>(v * wordToByte);
    });
}

cv::Mat fromFloats(const cv::Mat& source, int requestedBits) {
    if (requestedBits == 32) return source;
    if (requestedBits == 16)
        return convertSamples<float, std::uint16_t>(source, CV_16U, [](float v) {
            return clampTruncate<std::uint16_t>(v * 65535.0, 65535.0);
        });
    return convertSamples<float, std::uint8_t>(source, CV_8U, [](float v) {
        return clampTruncate<std::uint8_t>(v * 255.0, 255.0);
    });
}

} // namespace

cv::Mat convertBitDepth(cv::InputArray image, int requestedBits) {
    cv::Mat source = image.getMat();
    if (source.depth() == CV_16F) {
        // Half floats are widened first: read as 4-byte floats they would be garbage
        // and reach past the end of the pixels.
        cv::Mat widened;
        source.convertTo(widened, CV_32F);
        source = widened;
    }
    switch (source.elemSize1()) {
    case 1: return fromBytes(source, requestedBits);
    case 2: return fromWords(source, requestedBits);
    case 4: return fromFloats(source, requestedBits);
    default: return cv::Mat();
    }
}

} // namespace tl
