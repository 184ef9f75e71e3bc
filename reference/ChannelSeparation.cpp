#include "reference/ChannelSeparation.hpp"

#include "reference/ExposureEstimate.hpp"
#include "reference/ResponseFit.hpp"
#include "reference/SampleReading.hpp"

#include <algorithm>
#include <cmath>
#include <numeric>

namespace tl {

namespace {

// Channels that tell exposures further apart than this, in stops, get curves of their own.
constexpr double channelSpread = 0.3;
// The most a channel may differ between frames for the colour processing's sake.
constexpr double largestColourShare = 0.7;

// The exposures each colour channel tells on its own (per channel, per frame), read
// through response.
using ChannelExposures = std::vector<std::vector<std::optional<double>>>;
ChannelExposures channelExposures(const std::vector<cv::Mat>& samples, const CameraResponse& response, int instant) {
    ChannelExposures told;
    for (int c = 0; c < std::min(samples.front().channels(), 3); ++c) {
        std::vector<cv::Mat> channel(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) cv::extractChannel(samples[i], channel[i], c);
        std::vector<SampleReading> readings;
        for (const cv::Mat& one : channel) readings.emplace_back(one.depth(), 1, response.ofChannel(c));
        told.push_back(estimateExposures(channel, readings, instant));
    }
    return told;
}

// What the channels tell of frame i, when every one tells it.
std::optional<std::vector<double>> toldByEveryChannel(const ChannelExposures& told, std::size_t i) {
    std::vector<double> stops;
    for (const auto& exposures : told) {
        if (!exposures[i]) return std::nullopt;
        stops.push_back(*exposures[i]);
    }
    return stops;
}

// How far the colour channels disagree about each frame's exposure, in stops (the largest
// less the smallest), over the frames other than the instant image that every channel tells
// within a stop of the settled exposure (a frame mostly clipped or black tells too little).
std::vector<double> channelSpreads(const ChannelExposures& told, const std::vector<double>& settled, int instant) {
    std::vector<double> spreads;
    for (std::size_t i = 0; i < settled.size(); ++i) {
        const auto stops = toldByEveryChannel(told, i);
        if (static_cast<int>(i) == instant || !stops || stops->size() < 2) continue;
        const auto [low, high] = std::minmax_element(stops->begin(), stops->end());
        if (std::fabs(*low - settled[i]) <= 1 && std::fabs(*high - settled[i]) <= 1)
            spreads.push_back(*high - *low);
    }
    return spreads;
}

// The colour balance of every frame against the instant image's: each channel's light
// multiplied so that, at the frame's settled exposure, the channels tell the same stops.
std::vector<std::vector<float>> colourBalances(const ChannelExposures& told, std::size_t frames) {
    std::vector<std::vector<float>> balances(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const auto stops = toldByEveryChannel(told, i);
        if (!stops) continue;
        const double mean = std::accumulate(stops->begin(), stops->end(), 0.0) / static_cast<double>(stops->size());
        for (double s : *stops) balances[i].push_back(static_cast<float>(std::exp2(mean - s)));
    }
    return balances;
}


} // namespace

std::optional<ChannelSeparation> channelSeparation(const std::vector<cv::Mat>& samples, const CameraResponse& response,
                                                   const std::vector<double>& stops, int instant) {
    if (samples.empty() || samples.front().channels() < 2) return std::nullopt;
    std::vector<double> spreads = channelSpreads(channelExposures(samples, response, instant), stops, instant);
    if (spreads.empty()) return std::nullopt;
    std::sort(spreads.begin(), spreads.end());
    if (spreads[spreads.size() / 2] <= channelSpread) return std::nullopt;
    const CameraResponse curves = fitChannelResponses(samples, stops).value_or(response);
    return ChannelSeparation{curves, colourBalances(channelExposures(samples, curves, instant), samples.size()),
                             static_cast<float>(std::min(std::exp2(spreads.back()) - 1, largestColourShare))};
}

} // namespace tl
