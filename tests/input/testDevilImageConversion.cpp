#include "common/DevilLibrary.hpp"
#include "input/DevilImageConversion.hpp"
#include "input/DevilImageLoader.hpp"
#include "input/ImageLoader.hpp"
#include "tests/input/ImageFiles.hpp"
#include "tests/support/TempFolder.hpp"

#include <IL/il.h>
#include <gtest/gtest.h>

#include <vector>

using namespace tl;

namespace {

// A DevIL image made in memory from stored (its channels in DevIL's stored order),
// bound while the object lives.
class DevilImage {
public:
    DevilImage(const cv::Mat& stored, ILenum format, ILenum type, ILenum origin = IL_ORIGIN_UPPER_LEFT) {
        EXPECT_TRUE(requireDevil());
        ilGenImages(1, &name);
        ilBindImage(name);
        cv::Mat packed = stored.clone();
        EXPECT_TRUE(ilTexImage(stored.cols, stored.rows, 1, ILubyte(stored.channels()), format, type, packed.data));
        ilRegisterOrigin(origin);
    }
    ~DevilImage() { ilDeleteImages(1, &name); }

private:
    ILuint name = 0;
};

cv::Mat converted(const cv::Mat& stored, ILenum format, ILenum type, ILenum origin = IL_ORIGIN_UPPER_LEFT) {
    const DevilImage image(stored, format, type, origin);
    return convertDevILImage();
}

cv::Mat channels(const cv::Mat& image, std::vector<int> order) {
    std::vector<int> fromTo;
    for (int i = 0; i < int(order.size()); ++i) fromTo.insert(fromTo.end(), {order[i], i});
    cv::Mat result(image.size(), CV_MAKETYPE(image.depth(), int(order.size())));
    cv::mixChannels(&image, 1, &result, 1, fromTo.data(), order.size());
    return result;
}

bool identical(const cv::Mat& a, const cv::Mat& b) {
    return a.type() == b.type() && a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0;
}

TEST(DevilImageConversionTest, ChannelOrderFollowsTheStoredFormat) {
    const cv::Mat three = patternImage(3, 4, CV_8UC3);
    const cv::Mat four = patternImage(3, 4, CV_8UC4);
    const cv::Mat two = patternImage(3, 4, CV_8UC2);
    const cv::Mat one = patternImage(3, 4, CV_8UC1);
    EXPECT_TRUE(identical(converted(three, IL_RGB, IL_UNSIGNED_BYTE), channels(three, {2, 1, 0})));
    EXPECT_TRUE(identical(converted(three, IL_BGR, IL_UNSIGNED_BYTE), three));
    EXPECT_TRUE(identical(converted(four, IL_RGBA, IL_UNSIGNED_BYTE), channels(four, {2, 1, 0})));
    EXPECT_TRUE(identical(converted(four, IL_BGRA, IL_UNSIGNED_BYTE), channels(four, {0, 1, 2})));
    EXPECT_TRUE(identical(converted(one, IL_LUMINANCE, IL_UNSIGNED_BYTE), one));
    EXPECT_TRUE(identical(converted(two, IL_LUMINANCE_ALPHA, IL_UNSIGNED_BYTE), channels(two, {0})))
        << "grey + alpha keeps the grey channel alone";
}

TEST(DevilImageConversionTest, EveryDataTypeKeepsItsElementTypeAndValues) {
    const struct {
        ILenum type;
        int depth;
    } cases[] = {{IL_BYTE, CV_8S},  {IL_UNSIGNED_BYTE, CV_8U}, {IL_SHORT, CV_16S}, {IL_UNSIGNED_SHORT, CV_16U},
                 {IL_INT, CV_32S},  {IL_FLOAT, CV_32F},        {IL_DOUBLE, CV_64F}};
    for (const auto& c : cases) {
        cv::Mat stored;
        patternImage(2, 5, CV_8UC3).convertTo(stored, CV_MAKETYPE(c.depth, 3), 1, -60);
        EXPECT_TRUE(identical(converted(stored, IL_RGB, c.type), channels(stored, {2, 1, 0}))) << c.type;
    }
    cv::Mat wide;
    patternImage(2, 5, CV_8UC3).convertTo(wide, CV_32SC3);
    EXPECT_TRUE(converted(wide, IL_RGB, IL_UNSIGNED_INT).empty()) << "OpenCV has no unsigned 32-bit type";
}

TEST(DevilImageConversionTest, LowerLeftOriginComesBackTopRowFirst) {
    const cv::Mat topFirst = patternImage(5, 3, CV_8UC1);
    cv::Mat bottomFirst;
    cv::flip(topFirst, bottomFirst, 0);
    EXPECT_TRUE(identical(converted(bottomFirst, IL_LUMINANCE, IL_UNSIGNED_BYTE, IL_ORIGIN_LOWER_LEFT), topFirst));
    EXPECT_TRUE(identical(converted(topFirst, IL_LUMINANCE, IL_UNSIGNED_BYTE, IL_ORIGIN_UPPER_LEFT), topFirst));
}

// TGA is read by DevIL only: these files take the whole path through loadImage.
TEST(DevilImageConversionTest, TgaFilesLoadWithExactPixels) {
    TempFolder folder;
    const struct {
        int type;
        bool topFirst;
    } cases[] = {{CV_8UC1, false}, {CV_8UC1, true}, {CV_8UC3, false}, {CV_8UC3, true}, {CV_8UC4, false}};
    for (const auto& c : cases) {
        const cv::Mat picture = patternImage(6, 9, c.type);
        const std::string path = folder.file("picture.tga");
        writeFile(path, tgaBytes(picture, c.topFirst));
        const cv::Mat expected = picture.channels() == 4 ? channels(picture, {0, 1, 2}) : picture;
        EXPECT_TRUE(identical(loadImage(path).image, expected)) << picture.channels() << " channels, top first "
                                                          << c.topFirst;
    }
}

TEST(DevilImageConversionTest, PaletteImagesAreExpandedToBgr) {
    const std::vector<cv::Vec3b> palette = {{10, 20, 30}, {200, 100, 50}, {0, 0, 255}};
    cv::Mat indices(3, 5, CV_8UC1);
    for (int i = 0; i < int(indices.total()); ++i) indices.data[i] = static_cast<unsigned char>(i % 3);
    cv::Mat expected(indices.size(), CV_8UC3);
    for (int i = 0; i < int(indices.total()); ++i) expected.at<cv::Vec3b>(i / 5, i % 5) = palette[i % 3];
    TempFolder folder;
    writeFile(folder.file("palette.tga"), paletteTgaBytes(indices, palette));
    EXPECT_TRUE(identical(loadImage(folder.file("palette.tga")).image, expected));
}

// DevIL's TGA and PCX readers stop at the end of a short file without an error; the rows
// they never reached must not come back as whatever the memory held.
TEST(DevilImageConversionTest, FilesCutShortAreUnreadable) {
    TempFolder folder;
    const cv::Mat picture = patternImage(10, 16, CV_8UC3) / 2; // PCX literals stay below 0xC0
    const struct {
        const char* name;
        std::string whole;
        std::size_t header;
    } cases[] = {{"picture.tga", tgaBytes(picture, false), 18}, {"picture.pcx", pcxBytes(picture), 128}};
    for (const auto& c : cases) {
        const std::string path = folder.file(c.name);
        writeFile(path, c.whole);
        EXPECT_TRUE(identical(loadImage(path).image, picture)) << c.name;
        for (const std::size_t kept : {c.whole.size() - 1, c.header + (c.whole.size() - c.header) * 4 / 10, c.header}) {
            writeFile(path, c.whole.substr(0, kept));
            EXPECT_TRUE(loadDevilImage(path).empty()) << c.name << ", " << kept << " bytes";
            EXPECT_TRUE(loadImage(path).image.empty()) << c.name << ", " << kept << " bytes";
        }
    }
}

TEST(DevilImageConversionTest, EveryImageNameIsGivenBack) {
    TempFolder folder;
    writeFile(folder.file("good.tga"), tgaBytes(patternImage(4, 4, CV_8UC3), true));
    writeFile(folder.file("bad.tga"), "not a picture");
    ASSERT_TRUE(requireDevil());
    ILuint before = 0;
    ilGenImages(1, &before);
    ilDeleteImages(1, &before);
    EXPECT_FALSE(loadDevilImage(folder.file("good.tga")).empty());
    EXPECT_TRUE(loadDevilImage(folder.file("bad.tga")).empty());
    EXPECT_TRUE(loadDevilImage(folder.file("missing.tga")).empty());
    ILuint after = 0;
    ilGenImages(1, &after);
    ilDeleteImages(1, &after);
    EXPECT_EQ(after, before) << "a name left allocated would push the next one up";
    EXPECT_EQ(ilGetError(), ILenum(IL_NO_ERROR));
}

} // namespace
