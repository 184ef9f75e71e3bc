#include "output/RadianceWriter.hpp"

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

namespace tl {

namespace {

float storable(float channel) { return std::isfinite(channel) && channel > 0.0f ? channel : 0.0f; }

// One pixel as the bytes R, G, B, E. The shared exponent e is that of the largest
// channel m written as f * 2^e with f in [0.5, 1); each channel is stored as
// channel * 256 / 2^e truncated. For every m from 1e-32 up, m is a normal float, so
// e comes straight from its exponent bits and the scale 2^(8 - e) is a power of two:
// this gives the same bytes as frexp and (float(f) * 256 / m) would, without either.
void encodePixel(const float* bgr, std::uint8_t* rgbe) {
    const float b = storable(bgr[0]), g = storable(bgr[1]), r = storable(bgr[2]);
    float largest = r;
    if (g > largest) largest = g;
    if (b > largest) largest = b;
    if (static_cast<double>(largest) < 1e-32) {
        rgbe[0] = rgbe[1] = rgbe[2] = rgbe[3] = 0;
        return;
    }
    const int exponent = static_cast<int>((std::bit_cast<std::uint32_t>(largest) >> 23) & 0xff) - 126;
    if (exponent > 127) {
        // Beyond what the shared exponent byte holds (largest >= 2^127): the brightest
        // pixel the format can carry instead of a wrapped exponent that reads as black.
        rgbe[0] = rgbe[1] = rgbe[2] = rgbe[3] = 255;
        return;
    }
    const float scale = std::bit_cast<float>(static_cast<std::uint32_t>(8 - exponent + 127) << 23);
    rgbe[0] = static_cast<std::uint8_t>(static_cast<int>(r * scale));
    rgbe[1] = static_cast<std::uint8_t>(static_cast<int>(g * scale));
    rgbe[2] = static_cast<std::uint8_t>(static_cast<int>(b * scale));
    rgbe[3] = static_cast<std::uint8_t>(exponent + 128);
}

std::string header(const cv::Mat& image) {
    return "#?RADIANCE\n#Created by Tessaline\nFORMAT=32-bit_rle_rgbe\n\n-Y " +
           std::to_string(image.rows) + " +X " + std::to_string(image.cols) + "\n";
}

// Header, then every scanline encoded into one buffer and written in one call.
bool writeContent(std::FILE* file, const cv::Mat& image) {
    const std::string text = header(image);
    if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) return false;
    std::vector<std::uint8_t> scanline(static_cast<std::size_t>(image.cols) * 4);
    for (int y = 0; y < image.rows; ++y) {
        const float* pixel = image.ptr<float>(y);
        for (int x = 0; x < image.cols; ++x) encodePixel(pixel + 3 * x, scanline.data() + 4 * x);
        if (std::fwrite(scanline.data(), 1, scanline.size(), file) != scanline.size()) return false;
    }
    return true;
}

} // namespace

bool writeRadiance(const std::string& path, cv::InputArray image) {
    const cv::Mat pixels = image.getMat();
    if (pixels.type() != CV_32FC3 || pixels.empty()) return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool written = writeContent(file, pixels);
    if (std::fclose(file) == 0 && written) return true;
    // A partial file is worse than none; anything but a plain file (a device, a pipe)
    // is not ours to remove.
    std::error_code ignored;
    if (std::filesystem::is_regular_file(std::filesystem::symlink_status(path, ignored)))
        std::filesystem::remove(path, ignored);
    return false;
}

} // namespace tl
