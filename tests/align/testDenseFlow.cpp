#include "align/DenseFlow.hpp"
#include "align/FlowPyramid.hpp"
#include "align/PolynomialExpansion.hpp"
#include "tests/support/EveryTarget.hpp"
#include "tests/support/TestData.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <cstring>
#include <string>
#include <vector>

using namespace tl;

namespace {

const std::vector<int> threadCounts = {1, 2, 3, 8};

cv::Mat referenceFlow(const cv::Mat& first, const cv::Mat& second) {
    cv::Mat flow;
    cv::calcOpticalFlowFarneback(first, second, flow, 0.75, 4, 5, 1, 5, 1.1, 0);
    return flow;
}

cv::Mat referenceSmoothed(const cv::Mat& flow) {
    cv::Mat smoothed;
    cv::GaussianBlur(flow, smoothed, cv::Size(33, 33), 2.0, 0, cv::BORDER_DEFAULT);
    return smoothed;
}

// Where two flows first differ in any bit, or "" when they are the same bits.
std::string firstDifference(const cv::Mat& expected, const cv::Mat& actual) {
    if (expected.size() != actual.size() || expected.type() != actual.type()) return "size or type differs";
    const size_t rowBytes = expected.cols * expected.elemSize();
    for (int y = 0; y < expected.rows; y++)
        if (std::memcmp(expected.ptr(y), actual.ptr(y), rowBytes) != 0)
            for (int x = 0; x < expected.cols; x++)
                if (std::memcmp(expected.ptr(y, x), actual.ptr(y, x), expected.elemSize()) != 0) {
                    const cv::Vec2f e = expected.at<cv::Vec2f>(y, x), a = actual.at<cv::Vec2f>(y, x);
                    return "row " + std::to_string(y) + " column " + std::to_string(x) + ": expected (" +
                           std::to_string(e[0]) + ", " + std::to_string(e[1]) + ") got (" + std::to_string(a[0]) +
                           ", " + std::to_string(a[1]) + ")";
                }
    return "";
}

bool sameBits(const cv::Vec2f& a, const cv::Vec2f& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The whole flow is OpenCV's, bit for bit, with every thread count.
void expectReferenceFlow(const cv::Mat& first, const cv::Mat& second) {
    const cv::Mat expected = referenceFlow(first, second);
    for (int threads : threadCounts)
        EXPECT_EQ(firstDifference(expected, denseFlow(first, second, threads)), "") << threads << " threads";
}

// The smoothed flow at `pixels` is OpenCV's blur of its whole flow there, bit for bit.
void expectReferenceSmoothing(const cv::Mat& first, const cv::Mat& second, const std::vector<FlowPixel>& pixels,
                              const std::vector<int>& threads) {
    const cv::Mat expected = referenceSmoothed(referenceFlow(first, second));
    for (int count : threads) {
        const std::vector<cv::Vec2f> actual = smoothedFlowAt(first, second, pixels, 33, 2.0, count);
        ASSERT_EQ(actual.size(), pixels.size());
        int wrong = 0;
        for (size_t i = 0; i < pixels.size(); i++)
            if (!sameBits(actual[i], expected.at<cv::Vec2f>(pixels[i].row, pixels[i].column)) && wrong++ < 3)
                ADD_FAILURE() << count << " threads, pixel row " << pixels[i].row << " column " << pixels[i].column;
        EXPECT_EQ(wrong, 0) << count << " threads";
    }
}

std::vector<FlowPixel> everyPixel(cv::Size size) {
    std::vector<FlowPixel> pixels;
    for (int y = 0; y < size.height; y++)
        for (int x = 0; x < size.width; x++) pixels.push_back({y, x});
    return pixels;
}

// Pixels along every edge and corner, within the smoothing's reach of the border, and
// scattered ones inside, in no particular order.
std::vector<FlowPixel> edgeAndInnerPixels(cv::Size size, int seed) {
    std::vector<FlowPixel> pixels;
    cv::RNG rng(seed);
    for (int i = 0; i < 400; i++) {
        const int near = rng.uniform(0, 20), along = rng.uniform(0, size.width), down = rng.uniform(0, size.height);
        switch (i % 5) {
        case 0: pixels.push_back({std::min(near, size.height - 1), along}); break;
        case 1: pixels.push_back({std::max(0, size.height - 1 - near), along}); break;
        case 2: pixels.push_back({down, std::min(near, size.width - 1)}); break;
        case 3: pixels.push_back({down, std::max(0, size.width - 1 - near)}); break;
        default: pixels.push_back({down, along});
        }
    }
    pixels.push_back({0, 0});
    pixels.push_back({size.height - 1, size.width - 1});
    pixels.push_back({0, size.width - 1});
    pixels.push_back({size.height - 1, 0});
    return pixels;
}

cv::Mat greyFrame(const BurstScene& scene, int index) {
    cv::Mat grey;
    cv::cvtColor(scene.frame(index), grey, cv::COLOR_BGR2GRAY);
    return grey;
}

cv::Mat greyPhotograph(const std::string& name) {
    return cv::imread(testDataPath("bracket-desk/" + name), cv::IMREAD_GRAYSCALE);
}

cv::Mat scaled(const cv::Mat& grey, int depth, double factor) {
    cv::Mat converted;
    grey.convertTo(converted, depth, factor);
    return converted;
}

TEST(DenseFlow, GeneratedBurstWithTheBallMovedIsTheReferenceFlow) {
    const BurstScene scene(cv::Size(320, 240), 8);
    expectReferenceFlow(greyFrame(scene, 0), greyFrame(scene, 5));
}

TEST(DenseFlow, OddSizesAreTheReferenceFlow) {
    const BurstScene scene(cv::Size(333, 251), 8);
    expectReferenceFlow(greyFrame(scene, 1), greyFrame(scene, 3));
    const BurstScene tall(cv::Size(97, 301), 8);
    expectReferenceFlow(greyFrame(tall, 2), greyFrame(tall, 6));
}

TEST(DenseFlow, DeskPhotographsAtEveryDepthAreTheReferenceFlow) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    const cv::Mat first = greyPhotograph("img05.jpg"), second = greyPhotograph("img07.jpg");
    expectReferenceFlow(first, second);
    expectReferenceFlow(scaled(first, CV_16U, 257.0), scaled(second, CV_16U, 257.0));
    expectReferenceFlow(scaled(first, CV_32F, 1.0), scaled(second, CV_32F, 1.0));
    expectReferenceFlow(scaled(first, CV_32F, 1.0 / 255), scaled(second, CV_32F, 1.0 / 255));
}

// Shifts beyond the rows kept around a band, and unrelated images whose flow is wild,
// make the flow sample the second image far from the row it updates.
TEST(DenseFlow, LargeMotionsAndUnrelatedImagesAreTheReferenceFlow) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    const cv::Mat photograph = greyPhotograph("img05.jpg");
    const cv::Mat first = photograph(cv::Rect(100, 150, 600, 450));
    expectReferenceFlow(first, photograph(cv::Rect(160, 60, 600, 450)));
    cv::Mat flipped;
    cv::flip(first, flipped, -1);
    expectReferenceFlow(first, flipped);
    cv::Mat noise(450, 600, CV_8U);
    cv::RNG(7).fill(noise, cv::RNG::UNIFORM, 0, 256);
    expectReferenceFlow(first, noise);
}

// The rows of the flow update run in vectors of every width the processor offers, with
// a smooth flow (whose targets are loaded whole), a wild one (gathered lane by lane, and
// sampling far from the row) and widths that leave a part of a vector at each row's end.
TEST(DenseFlow, EveryInstructionSetGivesTheReferenceFlow) {
    const BurstScene scene(cv::Size(203, 157), 8);
    const cv::Mat first = greyFrame(scene, 0), second = greyFrame(scene, 5);
    cv::Mat noise(first.size(), CV_8U);
    cv::RNG(11).fill(noise, cv::RNG::UNIFORM, 0, 256);
    cv::Mat narrowFirst, narrowSecond;
    cv::resize(first, narrowFirst, cv::Size(27, 61), 0, 0, cv::INTER_AREA);
    cv::resize(second, narrowSecond, cv::Size(27, 61), 0, 0, cv::INTER_AREA);
    const cv::Mat expected[] = {referenceFlow(first, second), referenceFlow(first, noise),
                                referenceFlow(narrowFirst, narrowSecond)};
    onEveryTarget([&] {
        EXPECT_EQ(firstDifference(expected[0], denseFlow(first, second, 2)), "");
        EXPECT_EQ(firstDifference(expected[1], denseFlow(first, noise, 1)), "");
        EXPECT_EQ(firstDifference(expected[2], denseFlow(narrowFirst, narrowSecond, 1)), "");
    });
}

TEST(DenseFlow, ImagesBelowThePyramidsSmallestLevelAreTheReferenceFlow) {
    const BurstScene scene(cv::Size(64, 48), 8);
    const cv::Mat first = greyFrame(scene, 0), second = greyFrame(scene, 4);
    for (const cv::Size size : {cv::Size(31, 29), cv::Size(20, 400), cv::Size(400, 20), cv::Size(7, 5),
                                cv::Size(1, 1), cv::Size(1, 9), cv::Size(9, 1), cv::Size(2, 2)}) {
        cv::Mat a, b;
        cv::resize(first, a, size, 0, 0, cv::INTER_AREA);
        cv::resize(second, b, size, 0, 0, cv::INTER_AREA);
        SCOPED_TRACE(std::to_string(size.width) + " x " + std::to_string(size.height));
        expectReferenceFlow(a, b);
        expectReferenceSmoothing(a, b, everyPixel(size), threadCounts);
    }
}

TEST(SmoothedFlow, EveryPixelOfSmallImagesIsTheReferenceBlur) {
    const BurstScene scene(cv::Size(90, 70), 8);
    const cv::Mat first = greyFrame(scene, 0), second = greyFrame(scene, 6);
    expectReferenceSmoothing(first, second, everyPixel(first.size()), threadCounts);
    expectReferenceSmoothing(scaled(first, CV_32F, 1.0 / 255), scaled(second, CV_32F, 1.0 / 255),
                             everyPixel(first.size()), {1, 3});
}

TEST(SmoothedFlow, PixelsNearEveryEdgeOfLargerImagesAreTheReferenceBlur) {
    const BurstScene scene(cv::Size(333, 251), 8);
    const cv::Mat first = greyFrame(scene, 0), second = greyFrame(scene, 5);
    expectReferenceSmoothing(first, second, edgeAndInnerPixels(first.size(), 3), threadCounts);
}

TEST(SmoothedFlow, DeskPhotographsAreTheReferenceBlur) {
    TL_REQUIRE_TEST_DATA("bracket-desk/img07.jpg");
    const cv::Mat first = greyPhotograph("img05.jpg"), second = greyPhotograph("img07.jpg");
    expectReferenceSmoothing(scaled(first, CV_16U, 257.0), scaled(second, CV_16U, 257.0),
                             edgeAndInnerPixels(first.size(), 11), {1, 2});
}

TEST(SmoothedFlow, NoPixelsGiveNoValuesAndPixelsOutsideAreRefused) {
    const BurstScene scene(cv::Size(64, 48), 8);
    const cv::Mat first = greyFrame(scene, 0), second = greyFrame(scene, 2);
    EXPECT_TRUE(smoothedFlowAt(first, second, {}, 33, 2.0, 2).empty());
    EXPECT_THROW(smoothedFlowAt(first, second, {{48, 0}}, 33, 2.0, 2), cv::Exception);
    EXPECT_THROW(smoothedFlowAt(first, second, {{0, -1}}, 33, 2.0, 2), cv::Exception);
}

TEST(DenseFlow, RefusesMismatchedOrColourInputs) {
    const cv::Mat grey(40, 40, CV_8U, cv::Scalar(9)), colour(40, 40, CV_8UC3, cv::Scalar::all(9));
    EXPECT_THROW(denseFlow(grey, cv::Mat(41, 40, CV_8U, cv::Scalar(9)), 1), cv::Exception);
    EXPECT_THROW(denseFlow(colour, colour, 1), cv::Exception);
    EXPECT_THROW(denseFlow(cv::Mat(), cv::Mat(), 1), cv::Exception);
    EXPECT_THROW(denseFlow(grey, cv::Mat(40, 40, CV_16U, cv::Scalar(9)), 1), cv::Exception);
}

// Each level's blur, made strip by strip from views, is OpenCV's blur of the whole
// converted image, whatever the strips' heights, also for a single row or column.
TEST(FlowPyramid, StripsOfEveryLevelsBlurAreTheWholeImagesBlur) {
    cv::Mat noise(251, 333, CV_16U);
    cv::RNG(5).fill(noise, cv::RNG::UNIFORM, 0, 65536);
    for (const cv::Mat& input : {noise, noise.col(17).clone(), noise.row(9).clone(), noise(cv::Rect(0, 0, 7, 3)).clone()})
        for (const FlowLevel& level : flowLevels(input.size())) {
            cv::Mat expected;
            input.convertTo(expected, CV_32F);
            cv::GaussianBlur(expected, expected, cv::Size(level.blurSide, level.blurSide), level.sigma, level.sigma);
            for (int strip : {1, 2, 5, 64}) {
                cv::Mat blurred(input.size(), CV_32F), scratch;
                for (int y = 0; y < input.rows; y += strip)
                    blurLevelRows(input, level, y, std::min(y + strip, input.rows), blurred, scratch);
                EXPECT_EQ(std::memcmp(expected.data, blurred.data, expected.total() * sizeof(float)), 0)
                    << input.cols << " x " << input.rows << ", level blur " << level.blurSide << ", strips of " << strip;
            }
        }
}

// The expansion of two pixels alone, which serves far-reaching flows, is the same bits
// as those pixels' values in the whole row, at both ends of the row too.
TEST(PolynomialExpansion, PixelPairsAreTheirValuesInTheWholeRow) {
    cv::Mat image(40, 37, CV_32F);
    cv::RNG(9).fill(image, cv::RNG::UNIFORM, 0.0, 255.0);
    const PolynomialExpansion expansion;
    const auto rowAt = [&](int r) { return image.ptr<float>(r); };
    std::vector<float> whole(37 * 5), pair(37 * 5), scratch;
    for (int y : {0, 3, 20, 39}) {
        expansion.expandRow(rowAt, y, image.rows, image.cols, whole.data(), scratch);
        for (int x = 0; x + 1 < image.cols; x++) {
            expansion.expandPixelPair(rowAt, y, x, image.rows, image.cols, pair.data());
            for (int c = 0; c < 5; c++)
                for (int j = 0; j < 2; j++)
                    ASSERT_EQ(std::memcmp(&whole[c * 37 + x + j], &pair[c * 37 + x + j], sizeof(float)), 0)
                        << "row " << y << " column " << x + j << " coefficient " << c;
        }
    }
}

} // namespace
