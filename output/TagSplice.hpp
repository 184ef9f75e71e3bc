#pragma once

#include <cstddef>
#include <optional>
#include <vector>

namespace tl {

// An encoded JPEG or PNG file is a header, its image data and a trailer. For a JPEG the
// header is the start marker and every application and comment segment before the first
// other marker, and the image data the rest of the file; for a PNG the header is the
// signature and the chunks before the first IDAT chunk, the image data the run of IDAT
// chunks, and the trailer the chunks after it. exiftool writes tags into the header and
// the trailer only, and copies the image data as it is; what it writes depends on the
// header and trailer it finds, never on the image data.
//
// So the tags exiftool wrote into one image can be lifted out and placed into any other
// image whose header and trailer are the same bytes (the same encoder, size and format):
// the result is, byte for byte, what exiftool would have made of that image.
class TagSplice {
public:
    // From an image as encoded and the same image once exiftool has tagged it. Nothing when
    // either is no JPEG or PNG that can be taken apart, or when the two differ in their
    // image data.
    static std::optional<TagSplice> lift(const std::vector<unsigned char>& plain,
                                         const std::vector<unsigned char>& tagged);

    // image with the tags in place: the tagged header and trailer around its image data.
    // Nothing when image's own header or trailer differ from the plain image's.
    std::optional<std::vector<unsigned char>> placeInto(const std::vector<unsigned char>& image) const;

private:
    std::vector<unsigned char> plainHeader, plainTrailer, taggedHeader, taggedTrailer;
};

// Where the image data of an encoded JPEG or PNG begins and ends (see TagSplice).
struct ImageDataSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// The image data of bytes, or nothing when bytes are no JPEG or PNG whose segments or
// chunks lie within them.
std::optional<ImageDataSpan> imageDataSpan(const std::vector<unsigned char>& bytes);

} // namespace tl
