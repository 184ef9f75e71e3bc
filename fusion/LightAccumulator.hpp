#pragma once

#include <opencv2/core.hpp>

namespace tl {

// The light of a run: the instant image as it is plus every compensated exposure raised to
// the power 2.2, summed in double precision per element; at the end divided by its largest
// element and raised to 1 / 2.2. T is the images' element type: std::uint8_t, std::uint16_t
// or float, values in their own scale.
class LightAccumulator {
public:
    // Makes the sum from the instant image, values as they are: it anchors the sum without
    // outweighing the exposures. The sum is as large as the image in doubles; without
    // memory for it, std::bad_alloc or cv::Exception is thrown and the sum stays empty.
    template <typename T> void start(const cv::Mat& instant);

    // Adds a compensated exposure of the instant image's size and channels; nothing when
    // the sum could not be made.
    template <typename T> void add(const cv::Mat& compensated);

    // The light image: 32-bit float, the sum's size and channels, every element from 0 to
    // 1 (all 0 when there is no light at all); empty when there is no sum.
    cv::Mat finish() const;

    bool empty() const { return sum.empty(); }
    void clear();
    // The sum itself, 64-bit float.
    const cv::Mat& lightSum() const { return sum; }

private:
    cv::Mat sum;
    double largestSum = 0;  // its largest element (0 when none is above 0), kept by each addition
};

} // namespace tl
