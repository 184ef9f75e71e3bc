#include "input/ImageLoader.hpp"
#include "tests/input/CapturedStream.hpp"
#include "tests/input/ImageFiles.hpp"
#include "tests/support/TempFolder.hpp"
#include "tests/support/TestData.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cstdint>
#include <filesystem>
#include <tuple>
#include <vector>

using namespace tl;

namespace {

double largestDifference(const cv::Mat& a, const cv::Mat& b) { return cv::norm(a, b, cv::NORM_INF); }

class ImageLoaderTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string put(const std::string& name, const std::string& bytes) const {
        const std::string path = folder.file(name);
        writeFile(path, bytes);
        return path;
    }
};

TEST_F(ImageLoaderTest, RawExtensionDecidesTheDecoderWhateverTheContent) {
    // A perfectly good PNG under a raw name goes to the raw decoder, which cannot
    // develop it: had OpenCV seen it, it would have loaded.
    const std::string png = encoded(patternImage(4, 4, CV_8UC3), ".png");
    for (const char* name : {"photo.NEF", "photo.nef", "photo.Nef"})
        EXPECT_TRUE(loadImage(put(name, png)).image.empty()) << name;

    // Without any dot the whole path is the extension: "nef" alone is a raw name.
    put("nef", png);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.path());
    const bool bareNameLoaded = !loadImage("nef").image.empty();
    std::filesystem::current_path(previous);
    EXPECT_FALSE(bareNameLoaded);
    EXPECT_FALSE(loadImage(folder.file("nef")).image.empty()) << "a longer path without a dot is no raw name";
    for (const char* name : {"photo.png", "photo.tif", "photo", "photo.nef.png"})
        EXPECT_EQ(loadImage(put(name, png)).image.size(), cv::Size(4, 4)) << name;

    // The last dot counts even inside a folder name: "dir/photo" is no raw extension.
    std::filesystem::create_directory(folder.path() / "shots.nef");
    EXPECT_EQ(loadImage(put("shots.nef/photo", png)).image.size(), cv::Size(4, 4));
}

TEST_F(ImageLoaderTest, OrdinaryFilesComeBackAs8BitBgr) {
    const cv::Mat colour = patternImage(5, 7, CV_8UC3);
    const cv::Mat loaded = loadImage(put("colour.png", encoded(colour, ".png"))).image;
    ASSERT_EQ(loaded.type(), CV_8UC3);
    EXPECT_EQ(largestDifference(loaded, colour), 0);

    cv::Mat deep;
    colour.convertTo(deep, CV_16UC3, 257);
    const cv::Mat reduced = loadImage(put("deep.png", encoded(deep, ".png"))).image;
    ASSERT_EQ(reduced.type(), CV_8UC3);
    EXPECT_EQ(largestDifference(reduced, colour), 0);

    const cv::Mat grey = patternImage(6, 6, CV_8UC1);
    const cv::Mat fromGrey = loadImage(put("grey.jpg", encoded(grey, ".jpg"))).image;
    ASSERT_EQ(fromGrey.type(), CV_8UC3);
    std::vector<cv::Mat> planes;
    cv::split(fromGrey, planes);
    EXPECT_EQ(largestDifference(planes[0], planes[1]), 0);
    EXPECT_EQ(largestDifference(planes[0], planes[2]), 0);
}

// An Exif APP1 segment whose only tag is Orientation = 6 (turn 90° clockwise to view).
std::string withOrientationSix(const std::string& jpeg) {
    const std::string exif("Exif\0\0MM\0\x2a\0\0\0\x08\0\x01\x01\x12\0\x03\0\0\0\x01\0\x06\0\0\0\0\0\0", 32);
    const std::string length{char(0), char(exif.size() + 2)};
    return jpeg.substr(0, 2) + "\xFF\xE1" + length + exif + jpeg.substr(2);
}

TEST_F(ImageLoaderTest, ExifOrientationDoesNotTurnThePixels) {
    const std::string path = put("turned.jpg", withOrientationSix(encoded(patternImage(8, 16, CV_8UC3), ".jpg")));
    ASSERT_EQ(cv::imread(path, cv::IMREAD_COLOR).size(), cv::Size(8, 16)) << "the file must carry the tag";
    EXPECT_EQ(loadImage(path).image.size(), cv::Size(16, 8));
}

TEST_F(ImageLoaderTest, HighDynamicRangeFilesKeepTheirFloatValues) {
    cv::Mat radiance(4, 6, CV_32FC3, cv::Scalar(0.25, 3.0, 700.0));
    radiance.at<cv::Vec3f>(1, 2) = cv::Vec3f(12.0f, 0.5f, 2.0f);
    for (const char* name : {"light.hdr", "LIGHT.HDR", "light.Pic", "light.exr", "light.pfm"}) {
        const std::string extension = std::filesystem::path(name).extension().string();
        const std::string path = folder.file(name);
        const bool isExr = extension == ".exr";
        if (!cv::imwrite(isExr ? folder.file("tmp.exr") : path, radiance)) continue;
        if (isExr) std::filesystem::rename(folder.file("tmp.exr"), path);
        const cv::Mat loaded = loadImage(path).image;
        ASSERT_EQ(loaded.type(), CV_32FC3) << name;
        EXPECT_LT(cv::norm(loaded, radiance, cv::NORM_RELATIVE | cv::NORM_INF), 0.01) << name;
    }
}

TEST_F(ImageLoaderTest, RealRadianceFileLoadsAsFloat) {
    TL_REQUIRE_TEST_DATA("hdr/memorial_cv2_imwrite.hdr");
    const cv::Mat image = loadImage(testDataPath("hdr/memorial_cv2_imwrite.hdr")).image;
    ASSERT_EQ(image.type(), CV_32FC3);
    EXPECT_EQ(image.size(), cv::Size(512, 768));
    double largest = 0;
    cv::minMaxLoc(image.reshape(1), nullptr, &largest);
    EXPECT_GT(largest, 100.0) << "values above 1 survive";
}

TEST_F(ImageLoaderTest, RealBracketLoadsAs1024x768Bgr) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img05.jpg");
    for (const char* name : {"bracket-desk/img01.jpg", "bracket-desk/img05.jpg", "bracket-desk/img13.jpg"}) {
        const cv::Mat image = loadImage(testDataPath(name)).image;
        EXPECT_EQ(image.type(), CV_8UC3) << name;
        EXPECT_EQ(image.size(), cv::Size(1024, 768)) << name;
    }
}

// Malformed and hostile inputs: each gives an empty image or the image it holds, never
// a crash, a hang or a word on standard output.
TEST_F(ImageLoaderTest, BadInputGivesAnEmptyOrCorrectImageSilently) {
    const cv::Mat picture = patternImage(48, 64, CV_8UC3);
    std::vector<std::string> paths;
    for (const char* extension : {".jpg", ".png", ".tif"}) {
        const std::string whole = encoded(picture, extension);
        paths.push_back(put(std::string("cut") + extension, whole.substr(0, whole.size() / 2)));
        paths.push_back(put(std::string("head") + extension, whole.substr(0, 40)));
        std::string scrambled = whole;
        for (std::size_t i = scrambled.size() / 3; i < scrambled.size(); i += 7) scrambled[i] = char(0xA5);
        paths.push_back(put(std::string("scrambled") + extension, scrambled));
    }
    for (const char* name : {"text.jpg", "text.nef", "text.tga", "text.hdr", "text"})
        paths.push_back(put(name, "this is not an image\n"));
    paths.push_back(put("empty.png", ""));
    paths.push_back(put("empty.nef", ""));
    paths.push_back(folder.file("missing.jpg"));
    paths.push_back(folder.file("missing.nef"));
    paths.push_back(folder.path().string());
    std::filesystem::create_directory(folder.path() / "folder.nef");
    paths.push_back(folder.file("folder.nef"));

    CapturedStream output(STDOUT_FILENO);
    for (const std::string& path : paths) {
        const cv::Mat image = loadImage(path).image;
        if (!image.empty()) {
            EXPECT_EQ(image.size(), picture.size()) << path;
        }
    }
    EXPECT_EQ(output.text(), "");
}

TEST_F(ImageLoaderTest, PathsAreNeverInterpretedByAShell) {
    const std::string png = encoded(patternImage(3, 5, CV_8UC3), ".png");
    for (const std::string name : {"a b.png", "it's \"quoted\".png", "$(touch canary).png",
                                   "`touch canary`.tga", "caf\xC3\xA9 \xFF\xFE.png", "-x.png"})
        EXPECT_EQ(loadImage(put(name, png)).image.size(), cv::Size(5, 3)) << name;
    for (const std::string name : {"$(touch canary).jpg", "; touch canary.nef", "$(touch canary).tga"})
        EXPECT_TRUE(loadImage(folder.file(name)).image.empty()) << name;
    EXPECT_FALSE(std::filesystem::exists(folder.file("canary")));
    EXPECT_FALSE(std::filesystem::exists("canary"));
}

} // namespace

namespace {

int openDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count += !entry.path().empty();
    return count;
}

// OpenCV's Radiance reader keeps its file open when the header or the pixels turn out
// malformed; a merge over many such files would run out of descriptors.
TEST_F(ImageLoaderTest, MalformedRadianceFilesLeaveNoFileOpen) {
    const std::string header = "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n";
    const std::vector<std::string> paths = {put("nosize.hdr", header), put("nosize.jpg", header),
                                            put("bare.pic", "#?RGBE\n")};
    const std::string cut = put("cut.hdr", header + "-Y 64 +X 64\n\x02\x02\x00\x40");
    const int before = openDescriptors();
    for (const std::string& path : paths) EXPECT_TRUE(loadImage(path).image.empty()) << path;
    loadImage(cut).image; // OpenCV gives up on the pixels; DevIL may still make something of them
    EXPECT_EQ(openDescriptors(), before);
}

} // namespace

namespace {

// A BMP header declaring width x 1 pixels of 24 bits, with no pixels after it.
std::string bmpHeader(std::uint32_t width) {
    std::string bytes = "BM";
    const auto put32 = [&bytes](std::uint32_t value) {
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
    };
    put32(54);             // file size
    put32(0);              // reserved
    put32(54);             // offset of the pixels
    put32(40);             // the info header's size
    put32(width);
    put32(1);              // height
    put32(1 | (24 << 16)); // one plane, 24 bits per pixel
    for (int i = 0; i < 6; ++i) put32(0);
    return bytes;
}

// Files whose signature OpenCV knows and whose header or data it refuses: no abort, no
// detour through DevIL (which loops on a cut PNG until the time limit), and a reason.
TEST_F(ImageLoaderTest, FilesOpenCvRefusesAreUnreadableWithAReason) {
    cv::Mat deep(40, 60, CV_16UC3);
    cv::randu(deep, 0, 65536);
    const std::string png = encoded(deep, ".png");
    const std::string jpg = encoded(patternImage(48, 64, CV_8UC3), ".jpg");
    for (const auto& [name, bytes, problem] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"wide.ppm", "P6\n2000000 1\n255\n", "cannot decode it"},
             {"wide.pfm", "PF\n2000000 1\n-1.0\n", "cannot decode it"},
             {"wide.bmp", bmpHeader(0x7fffffff), "cannot decode it"},
             {"cut.png", png.substr(0, 88), "cannot decode it"},
             {"cut.jpg", jpg.substr(0, jpg.size() / 2), "it is cut short"}}) {
        for (const InputDepth depth : {InputDepth::eightBit, InputDepth::own}) {
            const LoadedImage loaded = loadImage(put(name, bytes), depth);
            EXPECT_TRUE(loaded.image.empty()) << name;
            EXPECT_NE(loaded.problem.find(problem), std::string::npos) << name << ": " << loaded.problem;
        }
    }
}

// Read at their own depth, 16-bit and float files keep every sample; read at 8 bits, a
// float TIFF (which OpenCV cannot squeeze) says why it is not read.
TEST_F(ImageLoaderTest, OwnDepthKeeps16BitAndFloatSamples) {
    cv::Mat deep(30, 20, CV_16UC3);
    cv::randu(deep, 0, 65536);
    cv::Mat deepGrey(30, 20, CV_16UC1);
    cv::randu(deepGrey, 0, 65536);
    cv::Mat light(30, 20, CV_32FC3);
    cv::randu(light, 0.0f, 4.0f);
    const std::string deepPath = put("deep.png", encoded(deep, ".png"));
    const std::string greyPath = put("grey.png", encoded(deepGrey, ".png"));
    const std::string lightPath = folder.file("light.tif");
    ASSERT_TRUE(cv::imwrite(lightPath, light, {cv::IMWRITE_TIFF_COMPRESSION, 5}));

    const cv::Mat ownDeep = loadImage(deepPath, InputDepth::own).image;
    ASSERT_EQ(ownDeep.type(), CV_16UC3);
    EXPECT_EQ(largestDifference(ownDeep, deep), 0);
    const cv::Mat ownGrey = loadImage(greyPath, InputDepth::own).image;
    ASSERT_EQ(ownGrey.type(), CV_16UC3);
    cv::Mat greyAsColour;
    cv::cvtColor(deepGrey, greyAsColour, cv::COLOR_GRAY2BGR);
    EXPECT_EQ(largestDifference(ownGrey, greyAsColour), 0);
    const cv::Mat ownLight = loadImage(lightPath, InputDepth::own).image;
    ASSERT_EQ(ownLight.type(), CV_32FC3);
    EXPECT_EQ(largestDifference(ownLight, light), 0);

    EXPECT_EQ(loadImage(deepPath, InputDepth::eightBit).image.type(), CV_8UC3);
    const LoadedImage squeezed = loadImage(lightPath, InputDepth::eightBit);
    EXPECT_TRUE(squeezed.image.empty());
    EXPECT_NE(squeezed.problem.find("8 bits per channel"), std::string::npos) << squeezed.problem;
}

} // namespace
