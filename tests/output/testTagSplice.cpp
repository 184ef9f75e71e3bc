#include "output/EncodedImage.hpp"
#include "output/TagSplice.hpp"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>

#include <string>
#include <vector>

using namespace tl;

namespace {

using Bytes = std::vector<unsigned char>;

Bytes encoded(const std::string& name, int rows, int cols, int shade) {
    return encodeImage(name, cv::Mat(rows, cols, CV_8UC3, cv::Scalar(shade, 255 - shade, shade / 2)));
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// bytes with extra inserted at offset.
Bytes inserted(Bytes bytes, std::size_t offset, const Bytes& extra) {
    bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(offset), extra.begin(), extra.end());
    return bytes;
}

// A JPEG comment segment and a PNG text chunk (with a zero checksum, which nothing here reads).
const Bytes jpegComment = {0xFF, 0xFE, 0x00, 0x06, 't', 'a', 'g', 's'};
const Bytes pngText = {0, 0, 0, 4, 't', 'E', 'X', 't', 't', 'a', 'g', 's', 0, 0, 0, 0};

// The tags a tagged image has in front of its image data go in front of another image's
// data of the same size, and before its trailer for a PNG; the other image's data stays.
TEST(TagSpliceTest, TagsOfOneImageArePlacedAroundAnothersData) {
    for (const std::string name : {"f.jpg", "f.png"}) {
        SCOPED_TRACE(name);
        const Bytes plain = encoded(name, 16, 24, 10);
        const std::optional<ImageDataSpan> span = imageDataSpan(plain);
        ASSERT_TRUE(span);
        const Bytes& tag = name == "f.jpg" ? jpegComment : pngText;
        const Bytes tagged = inserted(plain, span->begin, tag);
        const std::optional<TagSplice> splice = TagSplice::lift(plain, tagged);
        ASSERT_TRUE(splice);

        const Bytes other = encoded(name, 16, 24, 200);
        ASSERT_NE(other, plain);
        const std::optional<Bytes> placed = splice->placeInto(other);
        ASSERT_TRUE(placed);
        EXPECT_EQ(*placed, inserted(other, imageDataSpan(other)->begin, tag));
        EXPECT_EQ(*splice->placeInto(plain), tagged);
    }
}

// Images whose header or trailer differ (another size, another format), and data that is
// no JPEG or PNG, get no tags placed; a tagged image whose data differ gives no splice.
TEST(TagSpliceTest, ImagesOfAnotherShapeOrDataAreTurnedAway) {
    const Bytes plain = encoded("f.png", 16, 24, 10);
    const Bytes tagged = inserted(plain, imageDataSpan(plain)->begin, pngText);
    const std::optional<TagSplice> splice = TagSplice::lift(plain, tagged);
    ASSERT_TRUE(splice);
    EXPECT_FALSE(splice->placeInto(encoded("f.png", 17, 24, 10)));
    EXPECT_FALSE(splice->placeInto(encoded("f.jpg", 16, 24, 10)));
    EXPECT_FALSE(splice->placeInto({}));

    Bytes changedData = tagged;
    changedData[imageDataSpan(tagged)->begin + 20] ^= 0xFF;
    EXPECT_FALSE(TagSplice::lift(plain, changedData));
    EXPECT_FALSE(TagSplice::lift(bytesOf("GIF89a..."), bytesOf("GIF89a...")));
}

// Segments and chunks whose lengths run past the end are refused, not read beyond it.
TEST(TagSpliceTest, CutOffFilesHaveNoImageData) {
    for (const std::string name : {"f.jpg", "f.png"}) {
        const Bytes whole = encoded(name, 16, 24, 10);
        const std::size_t begin = imageDataSpan(whole)->begin;
        EXPECT_FALSE(imageDataSpan(Bytes(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(begin) - 3))) << name;
    }
    Bytes png = encoded("f.png", 16, 24, 10);
    png[8 + 0] = 0x7F;  // the header chunk claims two gigabytes
    EXPECT_FALSE(imageDataSpan(png));
    EXPECT_FALSE(imageDataSpan({0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01}));  // a segment shorter than its length field
}

} // namespace
