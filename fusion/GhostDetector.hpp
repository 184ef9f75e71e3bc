#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// Where an exposure shows something other than the instant image.
struct GhostMask {
    cv::Mat mask;         // 8-bit, one channel: 255 at a ghost pixel, 0 elsewhere
    bool noGhost = true;  // no pixel passed the ghost test (decided before the clean-up)
};

// The ghost test of a run. A pixel is a ghost when some channel of the exposure differs
// from the instant image by more than the threshold of the instant value there; the
// thresholds start at the ghost threshold percentage p for the darkest value and grow by
// 3.5 % of the depth's scale towards the brightest. The mask is then cleaned: areas
// without a solid 3 x 3 square go, what stays is grown by 4 pixels all round.
//
// The threshold table depends only on the instant image and p, so it is built at the first
// exposure and kept for the others of the run.
class GhostDetector {
public:
    // The mask of exposure against instant (both 8-bit, 16-bit or float, same size and
    // type) for the ghost threshold percentage p. The test runs on a band of rows per core.
    GhostMask detect(const cv::Mat& instant, const cv::Mat& exposure, float thresholdPercent);

    // The threshold table in use, as fractions of the depth's scale.
    const std::vector<float>& thresholds() const { return table; }

private:
    void prepareTable(int depth, float largestInstantElement, float thresholdPercent);

    std::vector<float> table;
    float tablePercent = 0;
};

} // namespace tl
