// The size read from a file's header is the size of the image the loader decodes from it,
// for every format with a header reader, in every layout a writer chooses.
#include "input/ImageHeader.hpp"
#include "input/ImageLoader.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

using namespace tl;

namespace {

void expectHeaderSizeIsTheDecodedSize(const std::string& path) {
    const std::optional<cv::Size> header = imageSizeFromHeader(path);
    const cv::Mat decoded = loadImage(path, InputDepth::own).image;
    ASSERT_TRUE(header) << path;
    ASSERT_FALSE(decoded.empty()) << path;
    EXPECT_EQ(*header, decoded.size()) << path;
}

cv::Mat colourImage(int rows, int cols, int depth) {
    cv::Mat image(rows, cols, CV_MAKETYPE(depth, 3));
    cv::randu(image, 0, depth == CV_32F ? 1 : 200);
    return image;
}

TEST(ImageHeaderTest, WrittenFilesOfEveryFormatWithAHeaderReader) {
    TempFolder folder;
    const struct {
        const char* name;
        int depth;
        int channels;
        std::vector<int> parameters;
    } files[] = {{"a.jpg", CV_8U, 3, {}},
                 {"progressive.jpg", CV_8U, 3, {cv::IMWRITE_JPEG_PROGRESSIVE, 1}},
                 {"grey.jpg", CV_8U, 1, {}},
                 {"a.png", CV_16U, 3, {}},
                 {"a.tif", CV_16U, 3, {}},
                 {"float.tif", CV_32F, 3, {}},
                 {"a.bmp", CV_8U, 3, {}},
                 {"lossy.webp", CV_8U, 3, {cv::IMWRITE_WEBP_QUALITY, 80}},
                 {"lossless.webp", CV_8U, 3, {cv::IMWRITE_WEBP_QUALITY, 101}},
                 {"a.ppm", CV_8U, 3, {}},
                 {"ascii.ppm", CV_8U, 3, {cv::IMWRITE_PXM_BINARY, 0}},
                 {"a.pgm", CV_16U, 1, {}},
                 {"a.pfm", CV_32F, 3, {}},
                 {"a.hdr", CV_32F, 3, {}}};
    for (const auto& file : files) {
        cv::Mat image = colourImage(37, 53, file.depth);
        if (file.channels == 1) cv::extractChannel(image, image, 0);
        const std::string path = folder.file(file.name);
        ASSERT_TRUE(cv::imwrite(path, image, file.parameters)) << file.name;
        expectHeaderSizeIsTheDecodedSize(path);
    }
}

// A JPEG whose size comes after a large block of tags, as a camera's does; a TIFF written
// big-endian by hand.
TEST(ImageHeaderTest, SizesBehindTagsAndInEitherByteOrder) {
    TempFolder folder;
    std::vector<unsigned char> jpeg;
    ASSERT_TRUE(cv::imencode(".jpg", colourImage(21, 34, CV_8U), jpeg));
    std::vector<unsigned char> tagged(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 3; ++i) {  // three APP1 segments of 60000 bytes each
        tagged.insert(tagged.end(), {0xFF, 0xE1, 0xEA, 0x60});
        tagged.insert(tagged.end(), 60000 - 2, 'x');
    }
    tagged.insert(tagged.end(), jpeg.begin() + 2, jpeg.end());
    writeFile(folder.file("tagged.jpg"), std::string(tagged.begin(), tagged.end()));
    expectHeaderSizeIsTheDecodedSize(folder.file("tagged.jpg"));

    // width 300 (SHORT), length 70000 (LONG)
    const std::string bigEndianTiff = std::string("MM\0*\0\0\0\x08\0\x02", 10) +
                                      std::string("\x01\x00\0\x03\0\0\0\x01\x01\x2C\0\0", 12) +
                                      std::string("\x01\x01\0\x04\0\0\0\x01\0\x01\x11\x70", 12);
    writeFile(folder.file("big.tif"), bigEndianTiff);
    EXPECT_EQ(imageSizeFromHeader(folder.file("big.tif")), cv::Size(300, 70000));
}

TEST(ImageHeaderTest, RealPhotographsRawFilesAndRadianceFiles) {
    for (const std::string relative : {"bracket-desk/img01.jpg", "raw/RAW_KODAK_DC50.KDC", "raw/RAW_NIKON_D1.NEF",
                                       "hdr/memorial_cv2_imwrite.hdr"}) {
        TL_REQUIRE_TEST_DATA(relative);
        expectHeaderSizeIsTheDecodedSize(testDataPath(relative));
    }
}

// Whatever cannot be read from a header gives nothing, never a size: cut-off and absurd
// headers, unknown formats, folders and FIFOs (which would block the read).
TEST(ImageHeaderTest, NoSizeWithoutAReadableHeader) {
    TempFolder folder;
    std::vector<unsigned char> png;
    ASSERT_TRUE(cv::imencode(".png", colourImage(5, 5, CV_8U), png));
    const std::vector<std::pair<std::string, std::string>> files{
        {"cut.png", std::string(png.begin(), png.begin() + 20)},
        {"cut.jpg", "\xFF\xD8\xFF\xE0\x00\x10JFIF"},
        {"zero.ppm", "P6\n0 5\n255\n"},
        {"comment.ppm", "P6 # no size\n"},
        {"huge.bmp", std::string("BM", 2) + std::string(12, '\0') + std::string("\x28\0\0\0\xFF\xFF\xFF\x7F\x01\0\0\0", 12)},
        {"text.txt", "13 91"},
        {"empty.jpg", ""}};
    for (const auto& [name, bytes] : files) {
        writeFile(folder.file(name), bytes);
        EXPECT_FALSE(imageSizeFromHeader(folder.file(name))) << name;
    }
    EXPECT_FALSE(imageSizeFromHeader(folder.path().string()));
    ASSERT_EQ(mkfifo(folder.file("fifo.png").c_str(), 0600), 0);
    EXPECT_FALSE(imageSizeFromHeader(folder.file("fifo.png")));
    EXPECT_FALSE(imageSizeFromHeader(folder.file("missing.jpg")));
}

} // namespace
