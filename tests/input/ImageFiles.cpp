#include "tests/input/ImageFiles.hpp"

#include <opencv2/imgcodecs.hpp>

#include <stdexcept>
#include <vector>

cv::Mat patternImage(int rows, int cols, int type) {
    cv::Mat image(rows, cols, type);
    const int channels = image.channels();
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols * channels; ++x)
            image.ptr<unsigned char>(y)[x] = static_cast<unsigned char>(7 * y + 3 * x + 11 * (x % channels));
    return image;
}

namespace {

void putLittleEndian16(std::string& bytes, int value) {
    bytes += static_cast<char>(value & 0xFF);
    bytes += static_cast<char>((value >> 8) & 0xFF);
}

} // namespace

std::string tgaBytes(const cv::Mat& image, bool topFirst) {
    const int channels = image.channels();
    std::string bytes(2, '\0');
    bytes += static_cast<char>(channels == 1 ? 3 : 2); // uncompressed grey or true colour
    bytes += std::string(5 + 4, '\0');                 // no colour map, origin (0, 0)
    putLittleEndian16(bytes, image.cols);
    putLittleEndian16(bytes, image.rows);
    bytes += static_cast<char>(8 * channels);
    bytes += static_cast<char>((channels == 4 ? 8 : 0) | (topFirst ? 0x20 : 0));
    for (int i = 0; i < image.rows; ++i) {
        const int y = topFirst ? i : image.rows - 1 - i;
        bytes.append(image.ptr<char>(y), image.cols * channels);
    }
    return bytes;
}

std::string paletteTgaBytes(const cv::Mat& indices, const std::vector<cv::Vec3b>& palette) {
    std::string bytes{0, 1, 1}; // no id, a colour map, colour-mapped pixels
    putLittleEndian16(bytes, 0);
    putLittleEndian16(bytes, int(palette.size()));
    bytes += char(24);
    bytes += std::string(4, '\0');
    putLittleEndian16(bytes, indices.cols);
    putLittleEndian16(bytes, indices.rows);
    bytes += char(8);
    bytes += char(0x20);
    for (const cv::Vec3b& colour : palette) bytes.append(reinterpret_cast<const char*>(colour.val), 3);
    for (int y = 0; y < indices.rows; ++y) bytes.append(indices.ptr<char>(y), indices.cols);
    return bytes;
}

std::string encoded(const cv::Mat& image, const std::string& extension) {
    std::vector<unsigned char> buffer;
    if (!cv::imencode(extension, image, buffer)) throw std::runtime_error("cannot encode " + extension);
    return std::string(buffer.begin(), buffer.end());
}
