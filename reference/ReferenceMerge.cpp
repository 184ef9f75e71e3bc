#include "reference/ReferenceMerge.hpp"

#include "common/Failure.hpp"
#include "reference/ChannelSeparation.hpp"
#include "reference/ConsistencyTest.hpp"
#include "reference/ExposureEstimate.hpp"
#include "reference/FrameSamples.hpp"
#include "reference/MaskShaping.hpp"
#include "reference/NoiseResponse.hpp"
#include "reference/ReducedFrame.hpp"
#include "reference/ReferenceAlignment.hpp"
#include "reference/ResponseFit.hpp"
#include "reference/WeightMap.hpp"
#include "reference/WeightedMerge.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace tl {

namespace {

std::size_t at(int index) { return static_cast<std::size_t>(index); }

// Why the frames cannot be merged, as the sentence the merge command reports.
StepFailure refusal(const std::string& why) { return StepFailure({Failure::Code::referenceMergeFailed, "", why}); }

void validate(const ReferenceFrames& frames, const ReferenceMergeOptions& options) {
    if (frames.images.empty()) throw refusal("There is no image to merge.");
    if (frames.instantIndex < 0 || frames.instantIndex >= static_cast<int>(frames.images.size()))
        throw refusal("The instant image is not among the images.");
    const cv::Mat& first = frames.images[at(frames.instantIndex)];
    const int depth = first.depth();
    if (depth != CV_8U && depth != CV_16U && depth != CV_32F)
        throw refusal("The images hold samples of a kind the merge does not read "
                      "(8-bit, 16-bit and float samples are read).");
    if (first.channels() != 1 && first.channels() != 3 && first.channels() != 4)
        throw refusal("The images have neither 1, 3 nor 4 channels.");
    for (std::size_t i = 0; i < frames.images.size(); ++i)
        if (frames.images[i].size() != first.size() || frames.images[i].type() != first.type())
            throw refusal("The image number " + std::to_string(i) +
                          " differs in size, channels or depth from the instant image.");
    if (options.stops && options.stops->size() != frames.images.size())
        throw refusal("There are " + std::to_string(options.stops->size()) + " exposure values for " +
                      std::to_string(frames.images.size()) + " images.");
}

// How each frame is read through response (the assumed one, or the fitted one), with its
// colour balance where one is given.
std::vector<SampleReading> readingsOf(const std::vector<cv::Mat>& images, const std::optional<CameraResponse>& response,
                                      const std::vector<std::vector<float>>& balances = {}) {
    std::vector<SampleReading> readings;
    for (std::size_t i = 0; i < images.size(); ++i) {
        const cv::Mat& image = images[i];
        const std::vector<float> balance = i < balances.size() ? balances[i] : std::vector<float>{};
        readings.push_back(response ? SampleReading(image.depth(), image.channels(), *response, balance)
                                    : SampleReading(image));
    }
    return readings;
}

std::vector<std::optional<double>> exifStopsOf(const ReferenceFrames& frames) {
    std::vector<std::optional<double>> stops(frames.images.size());
    if (frames.capture.size() != frames.images.size()) return stops;
    for (std::size_t i = 0; i < stops.size(); ++i)
        stops[i] = stopsBetween(frames.capture[i], frames.capture[at(frames.instantIndex)]);
    return stops;
}

// Exposures, then the response that the exposures let the frames tell.
struct Calibration {
    std::vector<FrameExposure> exposures;
    std::optional<CameraResponse> response;
    std::vector<std::vector<float>> balances;  // per frame, each channel's light factor; empty: none
    float colourShare = 0;                     // what the channels' disagreement adds to the consistency test
};

std::vector<double> stopsOf(const std::vector<FrameExposure>& exposures) {
    std::vector<double> stops;
    for (const FrameExposure& e : exposures) stops.push_back(e.stops);
    return stops;
}

// The exposures the frames tell through response when they are taken at stops. An
// exposure the capture settings or the caller give is checked against the images read
// through the curve fitted with it: right ones agree closely, wrong ones cannot.
Calibration calibrateIntegers(const ReferenceFrames& frames, const ReferenceMergeOptions& options,
                              const std::vector<cv::Mat>& samples, std::vector<FrameExposure> first) {
    const int instant = frames.instantIndex;
    Calibration c;
    c.response = fitCameraResponse(samples, stopsOf(first));
    if (!c.response) c.response = CameraResponse::standard();
    c.exposures = settleExposures(exifStopsOf(frames), estimateExposures(samples, readingsOf(samples, c.response), instant),
                                  options.stops, instant);
    // A frame whose settings the standard curve confirms keeps them: a fitted curve can be
    // off where a frame is mostly clipped and tells little.
    for (std::size_t i = 0; i < c.exposures.size(); ++i) {
        FrameExposure& e = c.exposures[i];
        if (e.disputed() && first[i].imageStops && confirms(*first[i].imageStops, *e.exifStops)) {
            e.stops = *e.exifStops;
            e.source = ExposureSource::exif;
        }
    }
    const bool disputed = std::any_of(c.exposures.begin(), c.exposures.end(), [](const FrameExposure& e) { return e.disputed(); });
    if (disputed) {
        // Some settings were wrong, and so was the curve fitted with them: fit it again with the
        // exposures settled now, and let the images tell the disputed frames through it.
        if (const auto refitted = fitCameraResponse(samples, stopsOf(c.exposures))) c.response = refitted;
        const auto again = estimateExposures(samples, readingsOf(samples, c.response), instant);
        for (std::size_t i = 0; i < c.exposures.size(); ++i)
            if (c.exposures[i].disputed() && again[i]) c.exposures[i].stops = *c.exposures[i].imageStops = *again[i];
    }
    // Where the data show that the channels do not share the curve: a curve and a colour
    // balance for each, and the consistency test's allowance for the rest.
    if (c.response->fitted())
        if (auto separated = channelSeparation(samples, *c.response, stopsOf(c.exposures), instant)) {
            c.response = std::move(separated->response);
            c.balances = std::move(separated->balances);
            c.colourShare = separated->colourShare;
        }
    return c;
}

// Exposures, then the response that the exposures let the frames tell. The images' first
// estimate reads them through the standard curve.
Calibration calibrate(const ReferenceFrames& frames, const ReferenceMergeOptions& options) {
    const bool integer = frames.images.front().depth() != CV_32F;
    std::vector<cv::Mat> samples;
    for (const cv::Mat& image : frames.images) samples.push_back(sampleGrid(image));
    const std::optional<CameraResponse> assumed =
        integer ? std::optional<CameraResponse>(CameraResponse::standard()) : std::nullopt;
    const int instant = frames.instantIndex;
    std::vector<FrameExposure> first =
        settleExposures(exifStopsOf(frames), estimateExposures(samples, readingsOf(samples, assumed), instant),
                        options.stops, instant);
    // The capture settings are taken as they are until the fitted curve can check them.
    const std::vector<std::optional<double>> exif = exifStopsOf(frames);
    for (std::size_t i = 0; i < first.size(); ++i)
        if (exif[i] && !options.stops) first[i].stops = *exif[i];
    if (integer) return calibrateIntegers(frames, options, samples, first);
    return {first, std::nullopt, {}, 0};
}

// Integer frames of one exposure, whose curve their mapping could not tell: their noise may.
bool isBurst(const Calibration& c) {
    return c.response && !c.response->fitted() &&
           std::all_of(c.exposures.begin(), c.exposures.end(), [](const FrameExposure& e) { return std::fabs(e.stops) < 0.05; });
}

// The consistency test's limits for frame against the instant image. A camera whose colour
// processing follows the exposure (colourShare above 0) bends its shoulder too: there a
// value is only known to be above the shoulder's start.
ConsistencyLimits limitsOf(const SampleReading& instant, const MergeFrame& frame, float colourShare) {
    const bool bent = colourShare > 0;
    const float unbounded = std::numeric_limits<float>::infinity();
    return {instant.floorLevel(), frame.reading.floorLevel() * frame.gain, bent ? instant.shoulderLevel() : unbounded,
            bent ? frame.reading.shoulderLevel() * frame.gain : unbounded, colourShare};
}

// Each frame's weight map, from the reduced light the consistency test read, or read again
// when the frames are now read through another curve.
std::vector<cv::Mat> weightMapsOf(const std::vector<MergeFrame>& frames, const std::vector<ReducedFrame>& reduced,
                                  bool readAgain, int factor) {
    std::vector<cv::Mat> maps;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const MergeFrame& frame = frames[i];
        const cv::Mat light = readAgain ? reduceFrame(frame.image, frame.reading, 1.0f, factor).light
                                        : cv::Mat(reduced[i].light / frame.gain);
        maps.push_back(weightMap(light, frame.reading));
    }
    return maps;
}

double featherSigma(cv::Size size, int factor) {
    return std::max(1.0, 0.0015 * std::hypot(size.width, size.height) / factor);
}

} // namespace

ReferenceMergeResult mergeOnReference(const ReferenceFrames& frames, const ReferenceMergeOptions& options) {
    validate(frames, options);
    const auto advance = [&](double done) {
        if (options.progress) options.progress(done);
    };
    const int instant = frames.instantIndex;
    const Calibration calibration = calibrate(frames, options);
    advance(0.2);
    const std::vector<SampleReading> readings = readingsOf(frames.images, calibration.response, calibration.balances);
    const cv::Size size = frames.images.front().size();
    const int factor = reductionFactor(size);
    const std::size_t count = frames.images.size();

    std::vector<MergeFrame> merged;
    std::vector<ReducedFrame> reduced;
    ReferenceMergeResult result;
    result.shifts.assign(count, cv::Point2f(0, 0));
    for (std::size_t i = 0; i < count; ++i) {
        const float gain = static_cast<float>(std::exp2(-calibration.exposures[i].stops));
        merged.push_back({frames.images[i], readings[i], gain, cv::Mat(), cv::Rect({0, 0}, size)});
        reduced.push_back(reduceFrame(frames.images[i], readings[i], gain, factor));
    }
    const ReducedFrame& reference = reduced[at(instant)];
    const SampleReading& instantReading = readings[at(instant)];
    for (std::size_t i = 0; i < count; ++i) {
        if (static_cast<int>(i) == instant) continue;
        MergeFrame& frame = merged[i];
        if (options.align) {
            const ClipRange range{std::max(instantReading.floorLevel(), frame.reading.floorLevel() * frame.gain),
                                  std::min(instantReading.clipLevel(), frame.reading.clipLevel() * frame.gain)};
            if (const auto shift = estimateShift(reference, reduced[i], range, factor)) {
                result.shifts[i] = *shift;
                frame.image = shiftFrame(frame.image, *shift);
                frame.valid = shiftedArea(size, *shift);
                reduced[i] = reduceFrame(frame.image, frame.reading, frame.gain, factor);
            }
        }
        const ConsistencyLimits limits = limitsOf(instantReading, frame, calibration.colourShare);
        frame.mask = shapeMask(disagreement(reference, reduced[i], limits), featherSigma(size, factor));
        advance(0.2 + 0.4 * static_cast<double>(i + 1) / static_cast<double>(count));
    }
    result.response = calibration.response;
    const auto told = isBurst(calibration) ? responseFromNoise(merged, factor) : std::nullopt;
    if (told) {
        result.response = told;
        for (MergeFrame& frame : merged) frame.reading = SampleReading(frame.image.depth(), frame.image.channels(), *told);
    }
    advance(0.6);
    result.radiance = mergeWeighted(merged, weightMapsOf(merged, reduced, told.has_value(), factor), instant, factor);
    advance(1);
    for (const MergeFrame& frame : merged) result.masks.push_back(frame.mask);
    result.exposures = calibration.exposures;
    return result;
}

} // namespace tl
