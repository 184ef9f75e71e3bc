#pragma once

#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <type_traits>
#include <vector>

namespace tl {

// The most channels a frame may have (B, G, R and alpha).
inline constexpr int largestChannels = 4;

// How the samples of one frame are read: their linear light on the frame's own scale, the
// weight the merge gives them, and where they stop telling the light - clipped at the top,
// lost in the noise floor at the bottom. Integer frames are read through the camera
// response, float frames are linear already.
class SampleReading {
public:
    // An 8-bit or 16-bit frame of channels channels read through response, the light of
    // channel c multiplied by balance[c] where there is one (a frame whose colour balance
    // differs from the instant image's).
    SampleReading(int depth, int channels, const CameraResponse& response, const std::vector<float>& balance = {});
    // A float frame, read as it is. It clips at its largest sample when at least one sample
    // in a thousand sits there (a clipped sensor piles them up), otherwise never.
    explicit SampleReading(const cv::Mat& floatFrame);

    // The light of sample v of channel.
    template <typename T> float light(T v, int channel) const {
        if constexpr (std::is_same_v<T, float>) return v;
        else return lights[static_cast<std::size_t>(channel)][v];
    }
    // The hat over the codes that weights the merge's samples, in its two sides: it rises
    // from 0 in the noise floor to 1 for well-exposed codes and falls back to 0 at the clip
    // level. The rising side is read from a frame's smoothed light (the code whose light it
    // is, for integer frames): read from each sample it would follow the sample's own noise
    // and bias dark areas up. The falling side is read from each sample, so that a dark
    // sample next to a clipped area keeps its weight.
    float risingWeightOfLight(float light, int channel) const;
    template <typename T> float fallingWeight(T v) const {
        if constexpr (std::is_same_v<T, float>) return v < clipLight ? 1.0f : 0.0f;
        else return fallingWeights[v];
    }
    template <typename T> bool clipped(T v) const {
        if constexpr (std::is_same_v<T, float>) return v >= clipLight;
        else return v >= clipCode;
    }
    // In the shoulder or above: where a fitted curve is least sure, and a camera's tone curve
    // compresses most, the light is at least what the curve says.
    template <typename T> bool nearClip(T v) const {
        if constexpr (std::is_same_v<T, float>) return v >= shoulderLight;
        else return v >= shoulderCode;
    }
    template <typename T> bool dark(T v) const {
        if constexpr (std::is_same_v<T, float>) return v <= floorLight;
        else return v <= floorCode;
    }
    // Far enough from both ends to compare two frames' light by (the exposure estimate).
    template <typename T> bool wellExposed(T v) const {
        if constexpr (std::is_same_v<T, float>) return v > wellLow && v < wellHigh;
        else return v >= wellLowCode && v <= wellHighCode;
    }
    // Whether light of channel would be read from a well-exposed sample.
    bool wellExposedLight(float light, int channel) const;

    // The light at which samples clip (in the channel that clips first), and the highest
    // light of the noise floor (in the channel whose floor is highest).
    float clipLevel() const { return clipLight; }
    // Where the shoulder starts, in the channel whose shoulder starts lowest.
    float shoulderLevel() const { return shoulderLight; }
    float floorLevel() const { return floorLight; }

private:
    std::vector<std::vector<float>> lights;  // per channel and code, integer frames only
    std::vector<float> risingWeights, fallingWeights;  // per code, integer frames only
    int clipCode = 0, shoulderCode = 0, floorCode = 0, wellLowCode = 0, wellHighCode = 0;
    float clipLight = 0, shoulderLight = 0, floorLight = 0, wellLow = 0, wellHigh = 0;
};

} // namespace tl
