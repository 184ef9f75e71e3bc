// The weighted merge of frames whose light is known: a burst's dark area, where the samples'
// own codes sit in and around the noise floor.
#include "reference/WeightedMerge.hpp"

#include "reference/ReducedFrame.hpp"
#include "reference/WeightMap.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tl;

namespace {

double srgbEncode(double light) {
    return light <= 0.0031308 ? 12.92 * light : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
}

// A grey frame of one light with noise of spread in light, clipped at 0 as a camera clips,
// through the standard curve into 8-bit codes.
cv::Mat darkFrame(double light, double spread, unsigned seed) {
    cv::Mat noise(160, 160, CV_64F);
    cv::RNG(seed).fill(noise, cv::RNG::NORMAL, 0, spread);
    cv::Mat codes(noise.size(), CV_8U);
    for (int y = 0; y < codes.rows; ++y)
        for (int x = 0; x < codes.cols; ++x)
            codes.at<std::uint8_t>(y, x) = cv::saturate_cast<std::uint8_t>(255 * srgbEncode(std::max(light + noise.at<double>(y, x), 0.0)));
    return codes;
}

struct DarkBurst {
    std::vector<MergeFrame> frames;
    std::vector<cv::Mat> weights;
    double plainMean = 0;     // the mean light of every sample of every frame
    double instantSpread = 0; // the spread of the instant frame's light
};

DarkBurst darkBurst(double light, double spread) {
    const SampleReading reading(CV_8U, 1, CameraResponse::standard());
    DarkBurst burst;
    for (unsigned i = 0; i < 5; ++i) {
        const cv::Mat codes = darkFrame(light, spread, 20 + i);
        burst.frames.push_back({codes, reading, 1.0f, cv::Mat(), cv::Rect(0, 0, codes.cols, codes.rows)});
        burst.weights.push_back(weightMap(reduceFrame(codes, reading, 1.0f, 1).light, reading));
        cv::Mat read(codes.size(), CV_32F);
        for (int y = 0; y < codes.rows; ++y)
            for (int x = 0; x < codes.cols; ++x) read.at<float>(y, x) = reading.light(codes.at<std::uint8_t>(y, x), 0);
        cv::Scalar mean, deviation;
        cv::meanStdDev(read, mean, deviation);
        burst.plainMean += mean[0] / 5;
        if (i == 2) burst.instantSpread = deviation[0];
    }
    return burst;
}

} // namespace

// Weights that follow each sample's own code would leave out the samples the noise pushed
// into the floor and keep those it pushed up: the dark area would come out brighter than
// the frames say. Equal exposures of one still scene merge to their plain mean, with the
// noise of five frames, down to a light whose codes are mostly 0 to 3.
TEST(WeightedMergeTest, DarkAreaOfABurstMergesToThePlainMeanOfItsFramesLight) {
    for (const double light : {0.0008, 0.002, 0.006}) {
        SCOPED_TRACE(light);
        const DarkBurst burst = darkBurst(light, 0.0008);
        const cv::Mat merged = mergeWeighted(burst.frames, burst.weights, 2, 1);
        cv::Scalar mean, deviation;
        cv::meanStdDev(merged, mean, deviation);
        EXPECT_NEAR(mean[0], burst.plainMean, 0.01 * burst.plainMean);
        EXPECT_LT(deviation[0], 0.55 * burst.instantSpread);
    }
}
