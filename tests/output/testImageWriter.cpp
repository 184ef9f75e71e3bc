#include "output/EncodedImage.hpp"
#include "output/ImageWriter.hpp"

#include "common/ToolFolder.hpp"
#include "output/JpegEncoder.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>
#include <opencv2/imgcodecs.hpp>

#include <sys/stat.h>

#include <filesystem>
#include <random>

using namespace tl;

namespace {

const std::string ourRadianceHeader = "#?RADIANCE\n#Created by Tessaline\n";

// A tool folder whose exiftool only notes that it was started, so that a test can
// tell whether a tag copy was attempted.
class ImageWriterTest : public ::testing::Test {
protected:
    TempFolder folder;
    std::string startLog() const { return folder.file("exiftool-started"); }

    void SetUp() override {
        std::filesystem::create_directories(folder.path() / "tools");
        const std::string tool = folder.file("tools/exiftool");
        writeFile(tool, "#!/bin/sh\necho started >> '" + startLog() + "'\n");
        chmod(tool.c_str(), 0755);
        setToolFolder(folder.file("tools/"));
    }
    void TearDown() override { setToolFolder(""); }

    bool exiftoolStarted() const { return std::filesystem::exists(startLog()); }
};

cv::Mat randomFloats(int rows, int cols, int channels) {
    cv::Mat image(rows, cols, CV_32FC(channels));
    cv::randu(image, 0.0, 1.0);
    return image;
}

// Largest difference between two images of the same size and type.
double largestDifference(const cv::Mat& a, const cv::Mat& b) {
    if (a.size() != b.size() || a.type() != b.type()) return 1e9;
    return cv::norm(a, b, cv::NORM_INF);
}

TEST_F(ImageWriterTest, HdrNamesOfThreeChannelImagesGoToTheRadianceWriter) {
    cv::Mat words(2, 3, CV_16UC3, cv::Scalar(16383, 32767, 65535));
    for (const std::string name : {"a.HDR", "b.hdr", "c.Hdr"}) {
        const std::string path = folder.file(name);
        ASSERT_NO_THROW(writeImage(path, words, "", "Tessaline")) << name;
        const std::string content = readFile(path);
        EXPECT_EQ(content.rfind(ourRadianceHeader, 0), 0u) << name;
        // 65535 / 65535 = 1.0 in red, 32767 / 65535 just below 0.5 in green.
        EXPECT_EQ(content.substr(content.size() - 4), std::string("\x80\x3f\x1f\x81", 4)) << name;
    }
    EXPECT_FALSE(exiftoolStarted());
}

TEST_F(ImageWriterTest, OneChannelHdrGoesToOpenCv) {
    const std::string path = folder.file("grey.hdr");
    ASSERT_NO_THROW(writeImage(path, cv::Mat(4, 5, CV_8UC1, cv::Scalar(100)), "", "Tessaline"));
    const std::string content = readFile(path);
    EXPECT_EQ(content.rfind("#?RADIANCE\n", 0), 0u);
    EXPECT_EQ(content.find("Tessaline"), std::string::npos);
    EXPECT_FALSE(cv::imread(path, cv::IMREAD_ANYDEPTH | cv::IMREAD_COLOR).empty());
}

TEST_F(ImageWriterTest, FloatTiffExrAndPfmAreRealFloatFiles) {
    const cv::Mat colour = randomFloats(6, 7, 3);
    const cv::Mat grey = randomFloats(6, 7, 1);
    for (const std::string name : {"a.tif", "a.TIFF", "a.exr", "a.pfm"}) {
        for (const cv::Mat& image : {colour, grey}) {
            const std::string path = folder.file(name);
            ASSERT_NO_THROW(writeImage(path, image, "", "Tessaline")) << name;
            const cv::Mat back = cv::imread(path, cv::IMREAD_UNCHANGED);
            EXPECT_EQ(largestDifference(back, image), 0.0) << name << " " << image.channels();
        }
    }
}

TEST_F(ImageWriterTest, EightAndSixteenBitExrAreWrittenAsFloats) {
    const std::string bytesPath = folder.file("bytes.exr");
    ASSERT_NO_THROW(writeImage(bytesPath, cv::Mat(3, 3, CV_8UC3, cv::Scalar(0, 51, 255)), "", "Tessaline"));
    const cv::Mat bytes = cv::imread(bytesPath, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(bytes.type(), CV_32FC3);
    EXPECT_NEAR(bytes.at<cv::Vec3f>(1, 1)[1], 0.2, 1e-6);
    EXPECT_EQ(bytes.at<cv::Vec3f>(2, 2)[2], 1.0f);

    const std::string wordsPath = folder.file("words.exr");
    ASSERT_NO_THROW(writeImage(wordsPath, cv::Mat(3, 3, CV_16UC1, cv::Scalar(65535)), "", "Tessaline"));
    const cv::Mat words = cv::imread(wordsPath, cv::IMREAD_UNCHANGED);
    ASSERT_EQ(words.type(), CV_32FC1);
    EXPECT_EQ(words.at<float>(0, 0), 1.0f);
}

TEST_F(ImageWriterTest, FloatJpegIsWrittenByDevilUprightAndScaled) {
    // OpenCV would store the samples 0.0 to 1.0 as the bytes 0 and 1; DevIL scales them.
    cv::Mat image(8, 8, CV_32FC3, cv::Scalar(0.1f, 0.5f, 0.9f));
    image.rowRange(0, 4).setTo(cv::Scalar(0.9f, 0.9f, 0.9f));
    const std::string path = folder.file("float.jpg");
    ASSERT_NO_THROW(writeImage(path, image, "", "Tessaline"));
    const cv::Mat back = cv::imread(path, cv::IMREAD_COLOR);
    ASSERT_EQ(back.size(), image.size());
    const cv::Vec3b top = back.at<cv::Vec3b>(1, 1), bottom = back.at<cv::Vec3b>(6, 6);
    EXPECT_NEAR(top[0], 229, 6);
    EXPECT_NEAR(bottom[0], 25, 6);
    EXPECT_NEAR(bottom[1], 127, 6);
    EXPECT_NEAR(bottom[2], 229, 6);
}

TEST_F(ImageWriterTest, FourAndTwoChannelsReachDevilWithTheirOwnLayout) {
    const std::string colourPath = folder.file("four.bmp");
    ASSERT_NO_THROW(writeImage(colourPath, cv::Mat(4, 4, CV_32FC4, cv::Scalar(0.1f, 0.5f, 0.9f, 1.0f)), "", ""));
    const cv::Vec3b colour = cv::imread(colourPath, cv::IMREAD_COLOR).at<cv::Vec3b>(2, 2);
    EXPECT_NEAR(colour[0], 25, 2);
    EXPECT_NEAR(colour[1], 127, 2);
    EXPECT_NEAR(colour[2], 229, 2);

    const std::string greyPath = folder.file("two.jpg");
    ASSERT_NO_THROW(writeImage(greyPath, cv::Mat(4, 4, CV_32FC2, cv::Scalar(0.5f, 1.0f)), "", ""));
    const cv::Vec3b grey = cv::imread(greyPath, cv::IMREAD_COLOR).at<cv::Vec3b>(2, 2);
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(grey[c], 127, 3) << c;
}

TEST_F(ImageWriterTest, WhenEveryWriterFailsNoFileRemains) {
    // DevIL cannot write float PNG and leaves an empty file behind.
    const std::string floatPng = folder.file("float.png");
    EXPECT_THROW(writeImage(floatPng, randomFloats(3, 3, 3), "", "Tessaline"), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(floatPng));

    const std::string unknown = folder.file("image.nosuchformat");
    EXPECT_THROW(writeImage(unknown, cv::Mat(3, 3, CV_8UC3, cv::Scalar::all(9)), "", "Tessaline"), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(unknown));
    EXPECT_FALSE(exiftoolStarted());
}

TEST_F(ImageWriterTest, FailedWriteKeepsAFileNoWriterTouchedAndNamesIt) {
    const std::string path = folder.file("kept.nosuchformat");
    writeFile(path, "earlier content");
    try {
        writeImage(path, cv::Mat(3, 3, CV_8UC3, cv::Scalar::all(9)), "", "Tessaline");
        ADD_FAILURE() << "no writer takes this name";
    } catch (const StepFailure& failure) {
        EXPECT_EQ(failure.failure().code, Failure::Code::imageUnwritable);
        EXPECT_EQ(failure.failure().path, path) << "the file asked for, not its temporary name";
        EXPECT_EQ(failure.failure().detail, "no writer takes this image under this name (its format or element type)");
    }
    EXPECT_EQ(readFile(path), "earlier content");
}

TEST_F(ImageWriterTest, ElementTypeNoWriterKnowsIsPassedOverAsTheLinePrinted) {
    std::vector<Failure> heard;
    const std::string path = folder.file("half.png");
    EXPECT_THROW(writeImage(path, cv::Mat(3, 3, CV_16FC3, cv::Scalar::all(0.5)), "", "",
                            [&](const Failure& fault) { heard.push_back(fault); }),
                 StepFailure);
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0].code, Failure::Code::elementTypeUnknown);
    EXPECT_EQ(heard[0].detail, "\n\nUnrecognized OpenCv Type 7\n");
}

TEST_F(ImageWriterTest, EmptyImageWritesNothingAndStartsNoTool) {
    const std::string source = folder.file("source.png");
    ASSERT_TRUE(cv::imwrite(source, cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(1))));
    const std::string path = folder.file("empty.png");
    EXPECT_THROW(writeImage(path, cv::Mat(), source, "Tessaline"), StepFailure);
    EXPECT_THROW(writeImage(path, cv::Mat(0, 5, CV_8UC3), source, "Tessaline"), StepFailure);
    const int volume[] = {2, 2, 2};
    EXPECT_THROW(writeImage(path, cv::Mat(3, volume, CV_8UC1, cv::Scalar(1)), source, "Tessaline"), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_FALSE(exiftoolStarted());
}

TEST_F(ImageWriterTest, MetadataToolRunsOnlyAfterAWriteWithASource) {
    const std::string source = folder.file("source.png");
    ASSERT_NO_THROW(writeImage(source, cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(1)), "", "Tessaline"));
    EXPECT_FALSE(exiftoolStarted());
    ASSERT_NO_THROW(writeImage(folder.file("tagged.png"), cv::Mat(2, 2, CV_8UC3, cv::Scalar::all(1)), source,
                           "Tessaline"));
    EXPECT_TRUE(exiftoolStarted());
}

TEST_F(ImageWriterTest, PathsLongerThanAnyFixedBufferWork) {
    std::filesystem::path deep = folder.path();
    for (int level = 0; level < 12; ++level) deep /= std::string(120, static_cast<char>('a' + level));
    std::filesystem::create_directories(deep);
    const cv::Mat bytes(3, 3, CV_8UC3, cv::Scalar(1, 2, 3));
    for (const std::string name : {"radiance.hdr", "opencv.png", "devil.jpg"}) {
        const std::string path = (deep / name).string();
        const cv::Mat image = name == "devil.jpg" ? randomFloats(3, 3, 3) : bytes;
        ASSERT_GT(path.size(), 1450u);
        EXPECT_NO_THROW(writeImage(path, image, "", "Tessaline")) << name;
        EXPECT_GT(std::filesystem::file_size(path), 0u) << name;
    }
}

// The extractor encodes a frame in memory while the last one is tagged, then puts the
// bytes into its file: they must be the very file that writeImage would write.
TEST_F(ImageWriterTest, EncodedBytesAreTheFileWriteImageWrites) {
    cv::Mat colours(30, 40, CV_8UC3);
    cv::randu(colours, 0, 256);
    cv::Mat words(30, 40, CV_16UC1);
    cv::randu(words, 0, 65536);
    const std::vector<std::pair<std::string, cv::Mat>> cases = {
        {"a.jpg", colours}, {"b.JPEG", colours}, {"c.png", colours}, {"d.png", words},
        {"e.tif", colours}, {"f.bmp", colours},  {"g.ppm", colours}, {"h.hdr", words}};
    for (const auto& [name, image] : cases) {
        const std::string byWriteImage = folder.file("w-" + name);
        const std::string byBytes = folder.file("e-" + name);
        ASSERT_NO_THROW(writeImage(byWriteImage, image, "", "")) << name;
        const std::vector<unsigned char> encoded = encodeImage(byBytes, image);
        ASSERT_FALSE(encoded.empty()) << name;
        ASSERT_NO_THROW(writeEncodedImage(byBytes, encoded, image)) << name;
        EXPECT_EQ(readFile(byBytes), readFile(byWriteImage)) << name;
    }
    EXPECT_FALSE(exiftoolStarted());
}

// The extractor's JPEG frames skip OpenCV's row copy; the files must not change by a
// byte, whatever the size, row stride or content.
TEST_F(ImageWriterTest, JpegFramesAreByteForByteOpenCvsJpeg) {
    cv::Mat noise(67, 101, CV_8UC3);
    cv::randu(noise, 0, 256);
    cv::Mat gradient(480, 640, CV_8UC3);
    for (int r = 0; r < gradient.rows; ++r)
        for (int c = 0; c < gradient.cols; ++c)
            gradient.at<cv::Vec3b>(r, c) = cv::Vec3b(static_cast<uchar>(c / 3), static_cast<uchar>(r / 2),
                                                     static_cast<uchar>((r + c) % 256));
    const std::vector<std::pair<std::string, cv::Mat>> cases = {
        {"one.jpg", cv::Mat(1, 1, CV_8UC3, cv::Scalar(1, 2, 3))},
        {"odd.jpe", noise},
        {"window.jpg", noise(cv::Rect(3, 5, 41, 29))},  // rows further apart than they are long
        {"gradient.JPG", gradient}};
    for (const auto& [name, image] : cases) {
        const std::string byOpenCv = folder.file("cv-" + name);
        ASSERT_TRUE(cv::imwrite(byOpenCv, image)) << name;
        const std::vector<unsigned char> encoded = encodeImage(folder.file(name), image);
        EXPECT_EQ(std::string(encoded.begin(), encoded.end()), readFile(byOpenCv)) << name;
    }
}

// libjpeg gives up on an image wider than JPEG allows by calling its error exit, which
// would end the process; the frame gets no bytes ahead instead, and other images go to
// OpenCV's encoder.
TEST_F(ImageWriterTest, JpegThatLibjpegRefusesGetsNoBytesAndTheProcessGoesOn) {
    const cv::Mat tooWide(1, 70000, CV_8UC3, cv::Scalar::all(9));
    EXPECT_TRUE(encodeBgrJpeg(tooWide).empty());
    EXPECT_TRUE(encodeImage(folder.file("wide.jpg"), tooWide).empty());
    const cv::Mat grey(8, 8, CV_8UC1, cv::Scalar::all(9));
    EXPECT_TRUE(encodeBgrJpeg(grey).empty());
    const std::string byOpenCv = folder.file("grey-cv.jpg");
    ASSERT_TRUE(cv::imwrite(byOpenCv, grey));
    const std::vector<unsigned char> encoded = encodeImage(folder.file("grey.jpg"), grey);
    EXPECT_EQ(std::string(encoded.begin(), encoded.end()), readFile(byOpenCv));
}

// Radiance, float and EXR images take writers that write no bytes ahead; the two-step
// write then gives writeImage's file all the same.
TEST_F(ImageWriterTest, ImagesForOtherWritersAreWrittenByTheirOwnWriter) {
    const cv::Mat colours(6, 8, CV_8UC3, cv::Scalar(10, 20, 30));
    const std::vector<std::pair<std::string, cv::Mat>> cases = {
        {"a.hdr", colours}, {"b.exr", colours}, {"c.tif", randomFloats(6, 8, 3)},
        {"d.jpg", randomFloats(6, 8, 3)}};
    for (const auto& [name, image] : cases) {
        const std::string byWriteImage = folder.file("w-" + name);
        const std::string byBytes = folder.file("e-" + name);
        EXPECT_TRUE(encodeImage(byBytes, image).empty()) << name;
        ASSERT_NO_THROW(writeImage(byWriteImage, image, "", "")) << name;
        ASSERT_NO_THROW(writeEncodedImage(byBytes, {}, image)) << name;
        EXPECT_EQ(readFile(byBytes), readFile(byWriteImage)) << name;
    }
}

TEST_F(ImageWriterTest, EncodedBytesThatCannotBeWrittenLeaveNoFile) {
    const cv::Mat colours(6, 8, CV_8UC3, cv::Scalar(10, 20, 30));
    const std::string path = folder.file("missing-folder/a.jpg");
    const std::vector<unsigned char> encoded = encodeImage(path, colours);
    ASSERT_FALSE(encoded.empty());
    EXPECT_THROW(writeEncodedImage(path, encoded, colours), StepFailure);
    EXPECT_FALSE(std::filesystem::exists(folder.path() / "missing-folder"));
    EXPECT_TRUE(encodeImage(folder.file("b.jpg"), cv::Mat()).empty());
}

} // namespace
