#include "input/ImageLoader.hpp"
#include "input/RadianceHeader.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <string>

using namespace tl;

namespace {

const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";

class RadianceHeaderTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string put(const std::string& bytes) const {
        const std::string path = folder.file("light" + std::to_string(++count) + ".hdr");
        writeFile(path, bytes);
        return path;
    }
    bool decodable(const std::string& bytes) const { return declaresDecodableRadianceSize(put(bytes)); }

private:
    mutable int count = 0;
};

TEST_F(RadianceHeaderTest, FilesOpenCvWritesAreDecodable) {
    // 5 columns are stored flat, 40 run-length encoded, 40000 flat again (too wide for runs).
    for (const cv::Size size : {cv::Size(5, 3), cv::Size(40, 30), cv::Size(40000, 2)}) {
        const std::string path = folder.file("written.hdr");
        ASSERT_TRUE(cv::imwrite(path, cv::Mat(size, CV_32FC3, cv::Scalar(0.5, 2.0, 0.25))));
        EXPECT_TRUE(declaresDecodableRadianceSize(path)) << size;
        EXPECT_EQ(loadImage(path).image.size(), size);
    }
}

TEST_F(RadianceHeaderTest, EmptyNegativeAndAbsurdSizesAreRefused) {
    const std::string pixels(4096, '\x40');
    for (const char* size : {"-Y 0 +X 0", "-Y 0 +X 5", "-Y 5 +X 0", "-Y -5 +X 0", "-Y 5 +X -5",
                             "-Y 2147483647 +X 2147483647", "-Y 99999999999999999999 +X 1",
                             "-Y 1 +X 1048577", "-Y 1048577 +X 1", "-Y 1048576 +X 1048576"})
        EXPECT_FALSE(decodable(header + size + "\n" + pixels)) << size;
}

TEST_F(RadianceHeaderTest, SizeLineMustFollowTheHeaderInOpenCvsOrientation) {
    const std::string pixels(64, '\x40');
    EXPECT_TRUE(decodable(header + "-Y 2 +X 3\n" + pixels));
    EXPECT_TRUE(decodable(header + "-Y\t2+X 3\n" + pixels)) << "spaced as sscanf allows";
    for (const char* size : {"+Y 2 +X 3", "-Y 2 -X 3", "+X 3 -Y 2", "-X 3 +Y 2", "-Y 2", "Y 2 X 3", ""})
        EXPECT_FALSE(decodable(header + size + "\n" + pixels)) << size;
    EXPECT_FALSE(decodable("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n-Y 2 +X 3\n" + pixels)) << "no empty line";
    EXPECT_FALSE(decodable(header)) << "no size line";
    EXPECT_FALSE(decodable("#?RADIANCE\n" + std::string(70000, '#') + "\n\n-Y 2 +X 3\n" + pixels))
        << "a header past 64 KiB";
}

// OpenCV reads the header 127 characters at a time: the line end of a longer line reads as
// the empty line that ends the header, and the size line is the one after it.
TEST_F(RadianceHeaderTest, LinesAreCutAsOpenCvCutsThem) {
    const std::string longLine = "#" + std::string(126, 'c') + "\n";
    const std::string path = put(header.substr(0, header.size() - 1) + longLine + "-Y 1 +X 2\n" + "\x80\x80\x80\x81" +
                                 "\x80\x80\x80\x81");
    EXPECT_TRUE(declaresDecodableRadianceSize(path));
    EXPECT_EQ(loadImage(path).image.size(), cv::Size(2, 1));
}

TEST_F(RadianceHeaderTest, DeclaredSizeMustFitTheBytesThatFollow) {
    // Flat scanlines: 4 bytes a pixel.
    EXPECT_FALSE(decodable(header + "-Y 3 +X 4\n" + std::string(47, '\x40')));
    EXPECT_TRUE(decodable(header + "-Y 3 +X 4\n" + std::string(48, '\x40')));
    // Run-length scanlines of 300 pixels: 4 bytes, then 3 runs of at most 127 pixels, 2 bytes
    // each, in each of 4 channels: 28 bytes a row at the least.
    EXPECT_FALSE(decodable(header + "-Y 100 +X 300\n" + std::string(2799, '\x40')));
    EXPECT_TRUE(decodable(header + "-Y 100 +X 300\n" + std::string(2800, '\x40')));
}

// A file cut short after its header passes the size check, but its pixels are missing:
// OpenCV refuses it, and no other decoder makes rows of its own from it.
TEST_F(RadianceHeaderTest, RadianceFileCutShortIsUnreadable) {
    const std::string path = folder.file("whole.hdr");
    ASSERT_TRUE(cv::imwrite(path, cv::Mat(40, 64, CV_32FC3, cv::Scalar(0.5, 2.0, 0.25))));
    const std::string whole = readFile(path);
    for (const std::size_t kept : {whole.size() / 2, whole.size() - 1})
        EXPECT_TRUE(loadImage(put(whole.substr(0, kept))).image.empty()) << kept << " of " << whole.size() << " bytes";
}

} // namespace
