// The reference merge on generated brackets and bursts whose truth is known: frames of a
// scene with a sky, a sun, a bright window and a dark doorway, exposed with photon and read
// noise, clipped, passed through a camera's tone curve and written as files (JPEG with EXIF
// exposure tags through the real exiftool, 16-bit PNG, linear PFM), with an object that
// crosses the frame further than any search radius between two frames.
#include "common/Failure.hpp"
#include "merge/CaptureSettings.hpp"
#include "reference/ReferenceMerge.hpp"
#include "reference/SampleReading.hpp"
#include "tests/support/TempFolder.hpp"
#include "tools/BracketFiles.hpp"

#include <gtest/gtest.h>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <cmath>

using namespace tl;

namespace {

struct Written {
    BracketPlan plan;
    std::vector<std::string> paths;
    std::vector<cv::Mat> frames;  // as read back from the files
};

// The frames of plan, each moved by its shift (hand-held) before it is written.
Written writeFrames(const TempFolder& folder, const BracketPlan& plan, const std::vector<cv::Point>& shifts = {}) {
    Written w{plan, {}, {}};
    w.paths = writeBracket(folder.path().string(), plan);
    for (std::size_t i = 0; i < w.paths.size(); ++i) {
        cv::Mat frame = cv::imread(w.paths[i], cv::IMREAD_ANYDEPTH | cv::IMREAD_ANYCOLOR | cv::IMREAD_IGNORE_ORIENTATION);
        if (i < shifts.size() && shifts[i] != cv::Point(0, 0)) {
            const cv::Matx23f move(1, 0, static_cast<float>(shifts[i].x), 0, 1, static_cast<float>(shifts[i].y));
            cv::warpAffine(frame, frame, move, frame.size(), cv::INTER_NEAREST, cv::BORDER_REPLICATE);
        }
        w.frames.push_back(frame);
    }
    return w;
}

ReferenceMergeResult mergeWritten(const Written& w, bool align = false, int instant = -1) {
    const int chosen = instant < 0 ? w.plan.instant : instant;
    const std::vector<CaptureSettings> capture = PendingCaptureSettings(w.paths).collect();
    return mergeOnReference({w.frames, chosen, capture}, {align, std::nullopt, {}});
}

// The parts of the image that hold what is checked: the still scene that some frame tells
// (not the sun, clipped in every frame), the object where the instant frame has it, and
// where the other frames have it only. A margin of a few pixels around the object is left
// out of all three: the feathered masks blend there.
struct Regions {
    cv::Mat still, object, elsewhere;
};

Regions regionsOf(const BracketPlan& plan, int instant, int margin) {
    const BracketScene scene(plan.size, static_cast<int>(plan.stops.size()), plan.colour);
    cv::Mat anywhere = cv::Mat::zeros(plan.size, CV_8U);
    for (int i = 0; i < static_cast<int>(plan.stops.size()); ++i) anywhere |= scene.objectMask(i);
    const cv::Mat ring = cv::getStructuringElement(cv::MORPH_ELLIPSE, {2 * margin + 1, 2 * margin + 1});
    cv::Mat near, inside, instantObject = scene.objectMask(instant);
    cv::dilate(anywhere, near, ring);
    cv::erode(instantObject, inside, ring);
    cv::Mat others;
    cv::erode(anywhere & ~instantObject, others, ring);
    // The darkest frame's clip level on the instant frame's scale: what lies above is told by no frame.
    const double darkest = *std::min_element(plan.stops.begin(), plan.stops.end());
    std::vector<cv::Mat> channels;
    cv::split(scene.radiance(instant), channels);
    cv::Mat brightest = channels[0];
    for (const cv::Mat& c : channels) brightest = cv::max(brightest, c);
    const cv::Mat told = brightest * std::exp2(darkest) < 0.8;
    return {~near & told, inside, others & told};
}

// The median over a region of |log(result / truth)| per sample, and the median ratio.
struct Agreement {
    double logError, ratio;
};

Agreement agreement(const cv::Mat& result, const cv::Mat& truth, const cv::Mat& region) {
    std::vector<double> errors, ratios;
    const int channels = truth.channels();
    for (int y = 0; y < truth.rows; ++y)
        for (int x = 0; x < truth.cols; ++x) {
            if (!region.at<std::uint8_t>(y, x)) continue;
            for (int c = 0; c < channels; ++c) {
                const double r = std::max(1e-6f, result.ptr<float>(y)[x * channels + c]);
                const double t = std::max(1e-6f, truth.ptr<float>(y)[x * channels + c]);
                ratios.push_back(r / t);
                errors.push_back(std::fabs(std::log(r / t)));
            }
        }
    if (errors.empty()) return {0, 1};
    const auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
        return v[v.size() / 2];
    };
    return {median(errors), median(ratios)};
}

// What every merge must show: the still scene as the truth on the instant frame's scale,
// the instant frame's object opaque, and nothing of the object where only other frames
// have it. The tolerances are for median errors of single samples.
void expectFaithful(const ReferenceMergeResult& merged, const BracketPlan& plan, int instant, double stillTolerance) {
    BracketPlan truthPlan = plan;
    truthPlan.instant = instant;
    const cv::Mat truth = bracketTruth(truthPlan);
    ASSERT_EQ(merged.radiance.size(), truth.size());
    ASSERT_EQ(merged.radiance.channels(), truth.channels());
    const Regions regions = regionsOf(plan, instant, std::max(3, plan.size.width / 40));
    const Agreement still = agreement(merged.radiance, truth, regions.still);
    EXPECT_LT(still.logError, stillTolerance) << "the still scene";
    EXPECT_NEAR(still.ratio, 1.0, 0.2) << "the instant frame's scale";
    EXPECT_LT(agreement(merged.radiance, truth, regions.object).logError, 0.2) << "the instant frame's object";
    EXPECT_LT(agreement(merged.radiance, truth, regions.elsewhere).logError, stillTolerance + 0.03)
        << "where the object is in other frames only";
}

BracketPlan plan(std::vector<double> stops, int instant, int bits, bool colour) {
    BracketPlan p;
    p.stops = std::move(stops);
    p.instant = instant;
    p.bits = bits;
    p.colour = colour;
    return p;
}

TEST(ReferenceMergeTest, TwoTaggedJpegFramesTwoStopsApart) {
    TempFolder folder;
    const Written w = writeFrames(folder, plan({-1, 1}, 1, 8, true));
    const ReferenceMergeResult merged = mergeWritten(w);
    EXPECT_EQ(merged.exposures[0].source, ExposureSource::exif);
    EXPECT_NEAR(merged.exposures[0].stops, -2, 0.05);
    expectFaithful(merged, w.plan, 1, 0.13);
}

TEST(ReferenceMergeTest, ThreeGreySixteenBitFramesTakenByHand) {
    TempFolder folder;
    const Written w = writeFrames(folder, plan({-2, 0, 2}, 1, 16, false), {{3, -2}, {0, 0}, {-2, 1}});
    const ReferenceMergeResult merged = mergeWritten(w, true);
    EXPECT_EQ(merged.radiance.channels(), 1);
    EXPECT_NEAR(merged.shifts[0].x, 3, 0.3);
    EXPECT_NEAR(merged.shifts[0].y, -2, 0.3);
    EXPECT_NEAR(merged.shifts[2].x, -2, 0.3);
    EXPECT_NEAR(merged.shifts[2].y, 1, 0.3);
    expectFaithful(merged, w.plan, 1, 0.22);
}

TEST(ReferenceMergeTest, SevenTaggedJpegFramesTakenByHand) {
    TempFolder folder;
    const Written w = writeFrames(folder, plan({-3, -2, -1, 0, 1, 2, 3}, 3, 8, true),
                                  {{2, 1}, {-1, 2}, {1, -1}, {0, 0}, {-2, -1}, {1, 1}, {-1, -2}});
    const ReferenceMergeResult merged = mergeWritten(w, true);
    expectFaithful(merged, w.plan, 3, 0.08);
}

// Frames three or four stops from the instant frame share few well-exposed samples with
// it, and frames six or eight stops apart share none of the still scene: what such a pair
// finds well exposed in both is the moving object over other things, whose ratio says
// nothing of the exposures. The tags must stand, and the merge be the scene. In the long
// bracket, the camera's curve must come from the neighbouring frames (it was 0.078 off
// when every pair had its say). Two frames six stops apart share no still sample, and
// nothing tells the camera's curve: only their exposures are checked.
TEST(ReferenceMergeTest, WideBracketsKeepTheirTaggedExposures) {
    struct Wide {
        std::vector<double> stops;
        double tolerance;  // 0: exposures only
    };
    for (const Wide& wide : {Wide{{-3, 0, 3}, 0.15}, Wide{{-4, 0, 4}, 0.1}, Wide{{-3, 3}, 0}, Wide{{-4, -2, 0, 2, 4}, 0.07}}) {
        const std::vector<double>& stops = wide.stops;
        SCOPED_TRACE(::testing::PrintToString(stops));
        TempFolder folder;
        const int instant = static_cast<int>(stops.size() - 1) / 2;
        const Written w = writeFrames(folder, plan(stops, instant, 8, true));
        const ReferenceMergeResult merged = mergeWritten(w);
        for (std::size_t i = 0; i < stops.size(); ++i) {
            EXPECT_EQ(merged.exposures[i].source, ExposureSource::exif) << "frame " << i;
            EXPECT_NEAR(merged.exposures[i].stops, stops[i] - stops[static_cast<std::size_t>(instant)], 0.05) << "frame " << i;
        }
        if (wide.tolerance > 0) expectFaithful(merged, w.plan, instant, wide.tolerance);
    }
}

// The linear light whose code fraction the generator's curve makes v (bisection).
double generatorLight(double v) {
    double low = 0, high = 1;
    for (int i = 0; i < 60; ++i) ((cameraCurve((low + high) / 2) < v) ? low : high) = (low + high) / 2;
    return (low + high) / 2;
}

// The mean over the codes of how far a curve's shape (light relative to the middle code's)
// is from the generator's, in stops.
double shapeError(const CameraResponse& curve) {
    double sum = 0;
    int count = 0;
    for (int code = 16; code <= 240; code += 8, ++count)
        sum += std::fabs(std::log2(curve.light(code, 0) / curve.light(128, 0) /
                                   (generatorLight(code / 255.0) / generatorLight(128 / 255.0))));
    return sum / count;
}

// A burst: every frame equally exposed, so no mapping between frames tells the curve; their
// noise does, closer to the camera's than the standard curve. The merge averages the noise
// of the still scene. Both are judged against the noise-free instant frame read through the
// same curve. At ISO 1600 the frames are as bright from 16 times fewer electrons: the
// noise the masks must tell from motion is four times larger.
TEST(ReferenceMergeTest, BurstOfFiveIsLessNoisyThanTheInstantFrame) {
    for (const double gainStops : {0.0, 4.0}) {
        SCOPED_TRACE(gainStops);
        TempFolder folder;
        BracketPlan burst = plan({0, 0, 0, 0, 0}, 2, 8, true);
        burst.gainStops = gainStops;
        const Written w = writeFrames(folder, burst);
        const ReferenceMergeResult merged = mergeWritten(w);
        ASSERT_TRUE(merged.response);
        EXPECT_TRUE(merged.response->fitted());
        EXPECT_LT(shapeError(*merged.response), 0.7 * shapeError(CameraResponse::standard()));
        const SampleReading reading(CV_8U, 3, *merged.response);
        const cv::Mat truth = bracketTruth(w.plan);
        cv::Mat alone(truth.size(), CV_32FC3), noiseFree(truth.size(), CV_32FC3);
        for (int y = 0; y < alone.rows; ++y)
            for (int x = 0; x < alone.cols * 3; ++x) {
                alone.ptr<float>(y)[x] = reading.light(w.frames[2].ptr<std::uint8_t>(y)[x], x % 3);
                const double code = 255 * cameraCurve(truth.ptr<float>(y)[x]);
                noiseFree.ptr<float>(y)[x] = static_cast<float>(merged.response->light(code, x % 3));
            }
        const Regions regions = regionsOf(w.plan, 2, 8);
        const double merging = agreement(merged.radiance, noiseFree, regions.still).logError;
        EXPECT_LT(merging, 0.6 * agreement(alone, noiseFree, regions.still).logError);
        EXPECT_LT(agreement(merged.radiance, noiseFree, regions.elsewhere).logError, merging + 0.03);
        EXPECT_LT(agreement(merged.radiance, noiseFree, regions.object).logError, 0.2);
    }
}

TEST(ReferenceMergeTest, LinearFloatFramesWithoutTags) {
    TempFolder folder;
    const Written w = writeFrames(folder, plan({-2, 0, 2}, 1, 32, true));
    const ReferenceMergeResult merged = mergeWritten(w);
    EXPECT_FALSE(merged.response);
    EXPECT_EQ(merged.exposures[2].source, ExposureSource::images);
    EXPECT_NEAR(merged.exposures[2].stops, 2, 0.1);
    expectFaithful(merged, w.plan, 1, 0.06);
}

TEST(ReferenceMergeTest, AnotherInstantFrameMovesTheObjectThere) {
    TempFolder folder;
    const Written w = writeFrames(folder, plan({-2, 0, 2}, 1, 8, true));
    expectFaithful(mergeWritten(w, false, 0), w.plan, 0, 0.08);
    expectFaithful(mergeWritten(w, false, 2), w.plan, 2, 0.08);
}

// The same frames tagged rightly, untagged and tagged all alike: the images tell the
// exposures when the tags cannot, and say so.
TEST(ReferenceMergeTest, MissingOrWrongTagsGiveNearlyTheSameResult) {
    std::vector<ReferenceMergeResult> merged;
    for (BracketTags tags : {BracketTags::right, BracketTags::none, BracketTags::wrong}) {
        TempFolder folder;
        BracketPlan p = plan({-2, 0, 2}, 1, 8, true);
        p.tags = tags;
        merged.push_back(mergeWritten(writeFrames(folder, p)));
    }
    EXPECT_EQ(merged[0].exposures[0].source, ExposureSource::exif);
    // The generator's channels share one curve, and the merge keeps to one.
    EXPECT_FALSE(merged[0].response->separateChannels());
    EXPECT_EQ(merged[1].exposures[0].source, ExposureSource::images);
    EXPECT_FALSE(merged[1].exposures[0].disputed());
    EXPECT_TRUE(merged[2].exposures[0].disputed());
    EXPECT_TRUE(merged[2].exposures[2].disputed());
    const Regions regions = regionsOf(plan({-2, 0, 2}, 1, 8, true), 1, 8);
    for (int k : {1, 2}) {
        EXPECT_NEAR(merged[static_cast<std::size_t>(k)].exposures[0].stops, -2, 0.5);
        // Without trusted tags the exposures come from the images read through the standard
        // curve, and the fitted curve's overall contrast follows them: a camera curve steeper
        // than sRGB in the middle makes every gap a little wider (-2.4 stops for -2 here).
        EXPECT_LT(agreement(merged[static_cast<std::size_t>(k)].radiance, merged[0].radiance, regions.still).logError, 0.25);
    }
}

TEST(ReferenceMergeTest, FramesThatDoNotFitTogetherAreRefused) {
    const cv::Mat a(40, 60, CV_8UC3, cv::Scalar::all(100)), b(40, 61, CV_8UC3, cv::Scalar::all(100));
    const cv::Mat grey(40, 60, CV_8UC1, cv::Scalar(100)), doubles(40, 60, CV_64FC3, cv::Scalar::all(0.5));
    EXPECT_THROW(mergeOnReference({{a, b}, 0, {}}, {}), StepFailure);
    EXPECT_THROW(mergeOnReference({{a, grey}, 0, {}}, {}), StepFailure);
    EXPECT_THROW(mergeOnReference({{doubles}, 0, {}}, {}), StepFailure);
    EXPECT_THROW(mergeOnReference({{a, a}, 2, {}}, {}), StepFailure);
    EXPECT_THROW(mergeOnReference({{a, a}, 0, {}}, {false, std::vector<double>{0}, {}}), StepFailure);
    EXPECT_THROW(mergeOnReference({{}, 0, {}}, {}), StepFailure);
    // One frame is its own merge.
    const ReferenceMergeResult alone = mergeOnReference({{a}, 0, {}}, {});
    EXPECT_NEAR(alone.radiance.at<cv::Vec3f>(10, 10)[0], CameraResponse::standard().light(100, 0), 1e-4);
}

} // namespace
