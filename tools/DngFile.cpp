#include "tools/DngFile.hpp"

#include "tools/GrainyScene.hpp"

#include <cstdint>
#include <vector>

namespace tl {

cv::Mat bayerScene(cv::Size size) {
    const cv::Mat picture = grainyScene(size, CV_16U);
    // R at even rows and columns, B at odd ones, G elsewhere; picture is B, G, R.
    cv::Mat mosaic(size, CV_16UC1);
    for (int y = 0; y < size.height; ++y)
        for (int x = 0; x < size.width; ++x) {
            const int channel = (y % 2 == 0 && x % 2 == 0) ? 2 : (y % 2 == 1 && x % 2 == 1) ? 0 : 1;
            mosaic.at<std::uint16_t>(y, x) = picture.at<cv::Vec3w>(y, x)[channel];
        }
    return mosaic;
}

namespace {

enum TiffType : std::uint16_t { Byte = 1, Ascii = 2, Short = 3, Long = 4, Rational = 5, SignedRational = 10 };

struct TiffEntry {
    std::uint16_t tag;
    TiffType type;
    std::uint32_t count;
    std::string bytes; // little-endian values
};

void put16(std::string& out, std::uint32_t value) {
    out += char(value & 0xFF);
    out += char((value >> 8) & 0xFF);
}

void put32(std::string& out, std::uint32_t value) {
    put16(out, value & 0xFFFF);
    put16(out, value >> 16);
}

TiffEntry shorts(std::uint16_t tag, std::vector<std::uint32_t> values) {
    std::string bytes;
    for (const std::uint32_t v : values) put16(bytes, v);
    return {tag, Short, std::uint32_t(values.size()), bytes};
}

TiffEntry longs(std::uint16_t tag, std::uint32_t value) {
    std::string bytes;
    put32(bytes, value);
    return {tag, Long, 1, bytes};
}

TiffEntry byteValues(std::uint16_t tag, std::vector<std::uint8_t> values) {
    return {tag, Byte, std::uint32_t(values.size()), std::string(values.begin(), values.end())};
}

TiffEntry text(std::uint16_t tag, const std::string& value) {
    return {tag, Ascii, std::uint32_t(value.size() + 1), value + '\0'};
}

TiffEntry rationals(std::uint16_t tag, TiffType type, std::vector<std::int32_t> numerators) {
    std::string bytes;
    for (const std::int32_t n : numerators) {
        put32(bytes, std::uint32_t(n * 10000));
        put32(bytes, 10000);
    }
    return {tag, type, std::uint32_t(numerators.size()), bytes};
}

std::vector<TiffEntry> entries(const cv::Mat& mosaic, int orientation, bool monochrome, std::uint32_t pixelOffset) {
    const std::uint32_t pixelBytes = std::uint32_t(mosaic.total() * 2);
    std::vector<TiffEntry> list = {
        longs(254, 0), longs(256, std::uint32_t(mosaic.cols)), longs(257, std::uint32_t(mosaic.rows)),
        shorts(258, {16}), shorts(259, {1}), shorts(262, {monochrome ? 34892u : 32803u}),
        text(271, "Tessaline"), text(272, "Generated DNG"), longs(273, pixelOffset),
        shorts(274, {std::uint32_t(orientation)}), shorts(277, {1}), longs(278, std::uint32_t(mosaic.rows)),
        longs(279, pixelBytes), shorts(284, {1})};
    if (!monochrome) {
        list.push_back(shorts(33421, {2, 2}));
        list.push_back(byteValues(33422, {0, 1, 1, 2}));
    }
    list.push_back(byteValues(50706, {1, 4, 0, 0}));
    list.push_back(text(50708, "Tessaline Generated DNG"));
    list.push_back(shorts(50717, {65535}));
    if (!monochrome) {
        list.push_back(rationals(50721, SignedRational, {1, 0, 0, 0, 1, 0, 0, 0, 1}));
        list.push_back(rationals(50728, Rational, {1, 1, 1}));
        list.push_back(shorts(50778, {21}));
    }
    return list;
}

} // namespace

std::string dngBytes(const cv::Mat& mosaic, int orientation, bool monochrome) {
    // Layout: header, the one IFD, the values too long to stand in their entry, pixels.
    const std::size_t entryCount = entries(mosaic, orientation, monochrome, 0).size();
    const std::uint32_t valuesStart = std::uint32_t(8 + 2 + 12 * entryCount + 4);
    std::uint32_t valuesSize = 0;
    for (const TiffEntry& e : entries(mosaic, orientation, monochrome, 0))
        if (e.bytes.size() > 4) valuesSize += std::uint32_t((e.bytes.size() + 1) & ~std::size_t(1));
    const std::vector<TiffEntry> list = entries(mosaic, orientation, monochrome, valuesStart + valuesSize);

    std::string out = "II*";
    out += '\0';
    put32(out, 8);
    put16(out, std::uint32_t(list.size()));
    std::string values;
    for (const TiffEntry& e : list) {
        put16(out, e.tag);
        put16(out, e.type);
        put32(out, e.count);
        if (e.bytes.size() <= 4) {
            out += e.bytes + std::string(4 - e.bytes.size(), '\0');
        } else {
            put32(out, valuesStart + std::uint32_t(values.size()));
            values += e.bytes;
            if (values.size() % 2) values += '\0';
        }
    }
    put32(out, 0);
    out += values;
    out.append(reinterpret_cast<const char*>(mosaic.data), mosaic.total() * 2);
    return out;
}

} // namespace tl
