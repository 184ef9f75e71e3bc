#include "extract/ListFileName.hpp"

#include <cstddef>

namespace tl {

namespace {

// Length of the sequence that lead starts, and the range its first continuation byte
// must fall in (which rules out overlong forms, surrogates and code points past U+10FFFF).
struct SequenceShape {
    std::size_t length;
    unsigned char low;
    unsigned char high;
};

SequenceShape shapeOf(unsigned char lead) {
    if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
    if (lead == 0xE0) return {3, 0xA0, 0xBF};
    if (lead == 0xED) return {3, 0x80, 0x9F};
    if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
    if (lead == 0xF0) return {4, 0x90, 0xBF};
    if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
    if (lead == 0xF4) return {4, 0x80, 0x8F};
    return {0, 0, 0};
}

bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

std::string latin1ToUtf8(const std::string& bytes) {
    std::string text;
    text.reserve(bytes.size() * 2);
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80) {
            text += c;
        } else {
            text += static_cast<char>(0xC0 | (byte >> 6));
            text += static_cast<char>(0x80 | (byte & 0x3F));
        }
    }
    return text;
}

} // namespace

bool isValidUtf8(const std::string& bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<unsigned char>(bytes[i]);
        if (lead < 0x80) {
            ++i;
            continue;
        }
        const SequenceShape shape = shapeOf(lead);
        if (shape.length == 0 || i + shape.length > bytes.size()) return false;
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        if (second < shape.low || second > shape.high) return false;
        for (std::size_t k = 2; k < shape.length; ++k)
            if (!isContinuation(static_cast<unsigned char>(bytes[i + k]))) return false;
        i += shape.length;
    }
    return true;
}

std::string listFileName(const std::string& path) {
    return isValidUtf8(path) ? path : latin1ToUtf8(path);
}

} // namespace tl
