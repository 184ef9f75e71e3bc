#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// How a frame's light differs from the instant image's where the scene is still, as a
// function of the instant image's light: the typical offset (bias: what the response or
// the exposure got slightly wrong) and the spread around it (photon and read noise,
// quantisation, compression, all of both frames). Measured from the frames themselves in
// bins of a third of a stop, as the median and the median absolute deviation of the
// differences, so that whatever moved - a minority of the pixels - does not count. Where
// it is not a minority, the bias is held within 10 % of the light and the spread within
// 25 %.
class NoiseProfile {
public:
    // From the difference frame - instant at the pixels where usable is non-zero (both
    // lights, CV_32FC(n), the mask CV_8UC(n) per channel).
    NoiseProfile(const cv::Mat& instant, const cv::Mat& frame, const cv::Mat& usable);

    float bias(float instantLight) const { return biases[bin(instantLight)]; }
    float spread(float instantLight) const { return spreads[bin(instantLight)]; }

private:
    std::size_t bin(float light) const;
    std::vector<float> biases, spreads;
};

} // namespace tl
