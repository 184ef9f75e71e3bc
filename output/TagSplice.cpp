#include "output/TagSplice.hpp"

#include <algorithm>
#include <cstdint>

namespace tl {

namespace {

using Bytes = std::vector<unsigned char>;

std::uint32_t bigEndian(const Bytes& bytes, std::size_t at, std::size_t size) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < size; ++i) value = value << 8 | bytes[at + i];
    return value;
}

bool startsWith(const Bytes& bytes, const Bytes& opening) {
    return bytes.size() >= opening.size() && std::equal(opening.begin(), opening.end(), bytes.begin());
}

// Application segments (APP0 to APP15) and comments: where exiftool keeps tags.
bool isTagSegment(unsigned char marker) { return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE; }

std::optional<ImageDataSpan> jpegSpan(const Bytes& bytes) {
    std::size_t at = 2;
    for (;;) {
        if (at + 4 > bytes.size() || bytes[at] != 0xFF) return std::nullopt;
        const unsigned char marker = bytes[at + 1];
        if (!isTagSegment(marker)) return ImageDataSpan{at, bytes.size()};
        const std::size_t length = bigEndian(bytes, at + 2, 2);
        if (length < 2) return std::nullopt;
        at += 2 + length;
    }
}

std::optional<ImageDataSpan> pngSpan(const Bytes& bytes) {
    std::optional<std::size_t> first;
    std::size_t at = 8;
    while (at + 12 <= bytes.size()) {
        const std::size_t next = at + 12 + bigEndian(bytes, at, 4);
        if (next > bytes.size()) return std::nullopt;
        const bool data = bigEndian(bytes, at + 4, 4) == 0x49444154;  // "IDAT"
        if (data && !first) first = at;
        if (!data && first) return ImageDataSpan{*first, at};
        at = next;
    }
    return std::nullopt;
}

Bytes piece(const Bytes& bytes, std::size_t begin, std::size_t end) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(begin), bytes.begin() + static_cast<std::ptrdiff_t>(end));
}

bool sameData(const Bytes& a, const ImageDataSpan& inA, const Bytes& b, const ImageDataSpan& inB) {
    return inA.end - inA.begin == inB.end - inB.begin &&
           std::equal(a.begin() + static_cast<std::ptrdiff_t>(inA.begin),
                      a.begin() + static_cast<std::ptrdiff_t>(inA.end), b.begin() + static_cast<std::ptrdiff_t>(inB.begin));
}

bool holdsAt(const Bytes& bytes, std::size_t at, const Bytes& part) {
    return at + part.size() <= bytes.size() &&
           std::equal(part.begin(), part.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
}

} // namespace

std::optional<ImageDataSpan> imageDataSpan(const Bytes& bytes) {
    if (startsWith(bytes, {0xFF, 0xD8})) return jpegSpan(bytes);
    if (startsWith(bytes, {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'})) return pngSpan(bytes);
    return std::nullopt;
}

std::optional<TagSplice> TagSplice::lift(const Bytes& plain, const Bytes& tagged) {
    const std::optional<ImageDataSpan> inPlain = imageDataSpan(plain);
    const std::optional<ImageDataSpan> inTagged = imageDataSpan(tagged);
    if (!inPlain || !inTagged || !sameData(plain, *inPlain, tagged, *inTagged)) return std::nullopt;
    TagSplice splice;
    splice.plainHeader = piece(plain, 0, inPlain->begin);
    splice.plainTrailer = piece(plain, inPlain->end, plain.size());
    splice.taggedHeader = piece(tagged, 0, inTagged->begin);
    splice.taggedTrailer = piece(tagged, inTagged->end, tagged.size());
    return splice;
}

std::optional<Bytes> TagSplice::placeInto(const Bytes& image) const {
    // The header and trailer are compared as bytes before the image data is looked for, so
    // that an image of another format or size is turned away at once.
    if (image.size() < plainHeader.size() + plainTrailer.size() || !holdsAt(image, 0, plainHeader) ||
        !holdsAt(image, image.size() - plainTrailer.size(), plainTrailer))
        return std::nullopt;
    const std::optional<ImageDataSpan> data = imageDataSpan(image);
    if (!data || data->begin != plainHeader.size() || data->end != image.size() - plainTrailer.size())
        return std::nullopt;
    Bytes placed;
    placed.reserve(taggedHeader.size() + (data->end - data->begin) + taggedTrailer.size());
    placed.insert(placed.end(), taggedHeader.begin(), taggedHeader.end());
    placed.insert(placed.end(), image.begin() + static_cast<std::ptrdiff_t>(data->begin),
                  image.begin() + static_cast<std::ptrdiff_t>(data->end));
    placed.insert(placed.end(), taggedTrailer.begin(), taggedTrailer.end());
    return placed;
}

} // namespace tl
