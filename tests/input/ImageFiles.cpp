#include "tests/input/ImageFiles.hpp"

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <stdexcept>
#include <vector>

namespace tl {

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

std::string pcxBytes(const cv::Mat& image) {
    std::string bytes(128, '\0');
    bytes[0] = 10; // PCX
    bytes[1] = 5;  // version 3.0
    bytes[2] = 1;  // run-length encoded
    bytes[3] = 8;  // bits per sample
    std::string limits;
    putLittleEndian16(limits, 0);
    putLittleEndian16(limits, 0);
    putLittleEndian16(limits, image.cols - 1);
    putLittleEndian16(limits, image.rows - 1);
    bytes.replace(4, limits.size(), limits);
    bytes[65] = 3; // planes
    std::string layout;
    putLittleEndian16(layout, image.cols); // bytes per plane row
    putLittleEndian16(layout, 1);          // colour
    bytes.replace(66, layout.size(), layout);
    for (int y = 0; y < image.rows; ++y)
        for (const int channel : {2, 1, 0})
            for (int x = 0; x < image.cols; ++x) bytes += static_cast<char>(image.at<cv::Vec3b>(y, x)[channel]);
    return bytes;
}

namespace {

std::string fitsCard(const std::string& key, const std::string& value) {
    char card[81];
    std::snprintf(card, sizeof card, "%-8s= %20s", key.c_str(), value.c_str());
    return std::string(card) + std::string(80 - std::string(card).size(), ' ');
}

} // namespace

std::string fitsBytes(const cv::Mat& image) {
    const int bytesPerSample = int(image.elemSize());
    std::string header = fitsCard("SIMPLE", "T") + fitsCard("BITPIX", std::to_string(8 * bytesPerSample)) +
                         fitsCard("NAXIS", "2") + fitsCard("NAXIS1", std::to_string(image.cols)) +
                         fitsCard("NAXIS2", std::to_string(image.rows)) + std::string("END").append(77, ' ');
    header.append(2880 - header.size(), ' ');
    std::string data;
    // FITS stores the bottom row first.
    for (int y = image.rows - 1; y >= 0; --y)
        for (int x = 0; x < image.cols; ++x) {
            const unsigned char* sample = image.ptr(y) + x * bytesPerSample;
            for (int i = bytesPerSample - 1; i >= 0; --i) data += static_cast<char>(sample[i]);
        }
    return header + data;
}

std::string encoded(const cv::Mat& image, const std::string& extension) {
    std::vector<unsigned char> buffer;
    if (!cv::imencode(extension, image, buffer)) throw std::runtime_error("cannot encode " + extension);
    return std::string(buffer.begin(), buffer.end());
}

} // namespace tl
