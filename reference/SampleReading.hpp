#pragma once

#include "reference/CameraResponse.hpp"

#include <opencv2/core.hpp>

#include <type_traits>
#include <vector>

// The most channels a frame may have (B, G, R and alpha).
inline constexpr int largestChannels = 4;

// How the samples of one frame are read: their linear light on the frame's own scale, the
// weight the merge gives them, and where they stop telling the light - clipped at the top,
// lost in the noise floor at the bottom. Integer frames are read through the camera
// response, float frames are linear already.
class SampleReading {
public:
    // An 8-bit or 16-bit frame read through response.
    SampleReading(int depth, const CameraResponse& response);
    // A float frame, read as it is. It clips at its largest sample when at least one sample
    // in a thousand sits there (a clipped sensor piles them up), otherwise never.
    explicit SampleReading(const cv::Mat& floatFrame);

    template <typename T> float light(T v) const {
        if constexpr (std::is_same_v<T, float>) return v;
        else return lights[v];
    }
    // A hat over the codes: 0 in the noise floor and from the clip level up, 1 for
    // well-exposed samples, ramps between.
    template <typename T> float weight(T v) const {
        if constexpr (std::is_same_v<T, float>) return v > floorLight && v < clipLight ? 1.0f : 0.0f;
        else return weights[v];
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

    // The light at which samples clip, and the highest light of the noise floor.
    float clipLevel() const { return clipLight; }
    float floorLevel() const { return floorLight; }

private:
    std::vector<float> lights, weights;  // per code, integer frames only
    int clipCode = 0, shoulderCode = 0, floorCode = 0, wellLowCode = 0, wellHighCode = 0;
    float clipLight = 0, shoulderLight = 0, floorLight = 0, wellLow = 0, wellHigh = 0;
};
