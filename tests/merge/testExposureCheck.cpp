#include "diag/Log.hpp"
#include "merge/ExposureCheck.hpp"
#include "merge/ImageMedian.hpp"
#include "tests/support/TempFolder.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace tl;

namespace {

ExposureEvidence tagged(double time, std::optional<double> fNumber = {}, std::optional<double> iso = {}) {
    return {{time, fNumber, iso}, std::nullopt};
}

ExposureEvidence measured(double median) { return {{}, median}; }

CaptureSettings timed(double time) { return {time, std::nullopt, std::nullopt}; }

TEST(StopsFromInstantTest, ExposureTimeIsoAndApertureWhereBothImagesTellThem) {
    EXPECT_DOUBLE_EQ(*stopsFromInstant(tagged(4), tagged(1)), 2.0);
    EXPECT_DOUBLE_EQ(*stopsFromInstant(tagged(0.25), tagged(1)), -2.0);
    EXPECT_DOUBLE_EQ(*stopsFromInstant(tagged(1, 2.8, 400), tagged(1, 2.8, 100)), 2.0);
    // One stop of aperture is a factor of the square root of two in the f-number.
    EXPECT_NEAR(*stopsFromInstant(tagged(1, 4), tagged(1, 4 * std::sqrt(2.0))), 1.0, 1e-12);
    // Time and aperture trade against each other: the same light, no gap.
    EXPECT_NEAR(*stopsFromInstant(tagged(1.0 / 250, 4, 800), tagged(1.0 / 125, 5.6568542, 800)), 0.0, 1e-6);
    // A setting only one image tells counts as equal.
    EXPECT_DOUBLE_EQ(*stopsFromInstant(tagged(2, std::nullopt, 800), tagged(1, 8, std::nullopt)), 1.0);
}

TEST(StopsFromInstantTest, MediansDecideWhereTheExposureTimeIsMissing) {
    EXPECT_DOUBLE_EQ(*stopsFromInstant(measured(0.4), measured(0.1)), 2.0);
    ExposureEvidence both = tagged(8);
    both.median = 0.1;
    EXPECT_DOUBLE_EQ(*stopsFromInstant(both, measured(0.1)), 0.0);  // the instant image has no time
    EXPECT_FALSE(stopsFromInstant(tagged(1), measured(0.1)));
    EXPECT_FALSE(stopsFromInstant(ExposureEvidence{}, ExposureEvidence{}));
}

TEST(ThresholdForGapTest, LargestDifferenceOfTwoGammaEncodedValues) {
    EXPECT_DOUBLE_EQ(thresholdForGap(0), 0.0);
    EXPECT_NEAR(thresholdForGap(1), 100 * (1 - std::pow(2.0, -1 / 2.2)), 1e-12);
    EXPECT_NEAR(thresholdForGap(2), 46.75, 0.01);
    EXPECT_DOUBLE_EQ(thresholdForGap(-2), thresholdForGap(2));
    EXPECT_LT(thresholdForGap(40), 100.0);
}

TEST(UnequalExposureWarningTest, NamesTheExposuresAndTheThresholdForItsReader) {
    const std::vector<std::string> paths{"a.jpg", "b.jpg", "c.jpg", "d.jpg"};
    EXPECT_EQ(unequalExposureWarning({{0, 1.0}}, paths, 1, WarningReader::namedOptions),
              "a.jpg (+1.0 EV) is exposed differently from the instant image b.jpg. The ghost test compares pixel "
              "values, so the difference in brightness passes for movement and is patched over. Merge a burst of "
              "equal exposures, or raise --threshold to 30 or more.");
    const std::string three = unequalExposureWarning({{0, -2.04}, {2, 0.96}, {3, 3.0}}, paths, 1, WarningReader::frontEnd);
    EXPECT_TRUE(three.starts_with("a.jpg (-2.0 EV), c.jpg (+1.0 EV) and d.jpg (+3.0 EV) are exposed differently "))
        << three;
    EXPECT_NE(three.find("raise the ghost threshold to 65 or more."), std::string::npos) << three;
    EXPECT_NE(unequalExposureWarning({{0, 40}}, paths, 1, WarningReader::frontEnd).find("to 100 or more."),
              std::string::npos);
}

// The check's warning is handed over as one fault, once.
class ExposureCheckTest : public ::testing::Test {
protected:
    const std::vector<std::string> paths{"dark.jpg", "instant.jpg", "bright.jpg"};
    std::vector<Failure> heard;
    const PassedOver hear = [this](const Failure& fault) {
        EXPECT_EQ(fault.code, Failure::Code::exposuresUnequal);
        heard.push_back(fault);
    };
    std::size_t warnings() const { return heard.size(); }
    std::string log() const {
        std::string text;
        for (const Failure& fault : heard) text += fault.detail + "\n";
        return text;
    }
};

TEST_F(ExposureCheckTest, TagsDecideBeforeTheRunAndTheWarningComesOnce) {
    ExposureCheck check(paths, 1, 10, WarningReader::frontEnd, {{0.25, 4, 100}, {1, 4, 100}, {1, 4, 100}}, hear);
    check.warnWhenDecided();
    EXPECT_EQ(warnings(), 1u);
    EXPECT_NE(log().find("dark.jpg (-2.0 EV) is exposed differently from the instant image instant.jpg."),
              std::string::npos)
        << log();
    check.warnWhenDecided();
    check.noteImage(0, cv::Mat(4, 4, CV_8UC1, cv::Scalar(10)));
    check.finish();
    EXPECT_EQ(warnings(), 1u);
}

TEST_F(ExposureCheckTest, EqualExposuresAndCoveredGapsDrawNoWarning) {
    ExposureCheck burst(paths, 1, 10, WarningReader::frontEnd, {timed(1.0 / 125), timed(1.0 / 125), timed(1.0 / 100)}, hear);
    burst.warnWhenDecided();
    burst.finish();
    ExposureCheck highThreshold(paths, 1, 50, WarningReader::frontEnd, {timed(0.25), timed(1), timed(4)}, hear);
    highThreshold.finish();
    EXPECT_EQ(warnings(), 0u);
}

// Without tags the check waits for the images' medians as the run hands them over.
TEST_F(ExposureCheckTest, MediansDecideWhatTheTagsLeaveOpen) {
    ExposureCheck check(paths, 1, 10, WarningReader::frontEnd, {{}, {}, {}}, hear);
    check.warnWhenDecided();
    check.noteImage(1, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(100)));
    check.noteImage(2, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(102)));  // within half a stop
    EXPECT_EQ(warnings(), 0u);
    check.noteImage(0, cv::Mat(8, 8, CV_8UC3, cv::Scalar::all(40)));
    EXPECT_EQ(warnings(), 1u);
    EXPECT_NE(log().find("dark.jpg (-2.9 EV) is exposed"), std::string::npos) << log();
    check.finish();
    EXPECT_EQ(warnings(), 1u);
}

TEST_F(ExposureCheckTest, RunEndingEarlyWarnsAboutWhatWasDecided) {
    ExposureCheck check(paths, 1, 10, WarningReader::frontEnd, {{}, timed(1), timed(4)}, hear);
    check.warnWhenDecided();
    EXPECT_EQ(warnings(), 0u);  // dark.jpg is still open
    check.finish();
    EXPECT_EQ(warnings(), 1u);
    EXPECT_NE(log().find("bright.jpg (+2.0 EV) is exposed"), std::string::npos) << log();
}

TEST(LinearMedianTest, MedianOfAllSamplesAsLinearLight) {
    cv::Mat image(10, 10, CV_8UC3, cv::Scalar(0, 128, 255));
    image.rowRange(0, 2).setTo(cv::Scalar::all(255));  // 140 of 300 samples 255, 80 at 128, 80 at 0
    EXPECT_DOUBLE_EQ(*linearMedian(image), std::pow(128 / 255.0, 2.2));
    cv::Mat deep(6, 6, CV_16UC1, cv::Scalar(1000));
    deep.rowRange(0, 2).setTo(60000);
    EXPECT_DOUBLE_EQ(*linearMedian(deep), std::pow(1000 / 65535.0, 2.2));
    cv::Mat light(3, 3, CV_32FC1, cv::Scalar(0.25f));
    light.at<float>(0, 0) = NAN;
    EXPECT_DOUBLE_EQ(*linearMedian(light), 0.25);
}

TEST(LinearMedianTest, BlackImagesStillHaveABrightnessAndOtherDepthsNone) {
    EXPECT_DOUBLE_EQ(*linearMedian(cv::Mat(4, 4, CV_8UC1, cv::Scalar(0))), std::pow(0.5 / 255, 2.2));
    EXPECT_FALSE(linearMedian(cv::Mat()));
    EXPECT_FALSE(linearMedian(cv::Mat(4, 4, CV_64FC1, cv::Scalar(1))));
    // A large image is sampled on a spread of rows, which still finds a clear median.
    cv::Mat large(3000, 1000, CV_8UC3, cv::Scalar::all(60));
    large.rowRange(0, 1000).setTo(cv::Scalar::all(200));
    EXPECT_DOUBLE_EQ(*linearMedian(large), std::pow(60 / 255.0, 2.2));
}

} // namespace
