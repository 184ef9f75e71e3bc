#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// The image pyramid of the dense flow (scale 0.75 per level, at most four levels below
// the full size, none smaller than 32 pixels). Level k's image is the whole input
// converted to float, blurred by a Gaussian that grows with k, then resized to the
// level's size, exactly as OpenCV's dense flow makes it; level 0 is blurred only.
// Each level's size is this times the next finer one's.
constexpr double flowPyramidScale = 0.75;

struct FlowLevel {
    int width, height;
    double sigma;    // of the blur, 0 at level 0 (the size's own sigma)
    int blurSide;    // side of the blur's square kernel
};

// Level 0 (the input's size) first, then each coarser level.
std::vector<FlowLevel> flowLevels(cv::Size size);

// Rows [begin, end) of the input converted to float and blurred as for `level`,
// written to rows [begin, end) of `out` (float, the input's size). The blur runs on a
// strip that reaches beyond the rows by the kernel's radius where the image goes on, so
// each row sees the neighbours it has in the whole image. scratch is the caller's.
void blurLevelRows(const cv::Mat& input, const FlowLevel& level, int begin, int end, cv::Mat& out,
                   cv::Mat& scratch);

// Rows [begin, end) of the blurred input in a buffer of their own (the rows of `out`
// are then rows begin.. of the image).
void blurLevelStrip(const cv::Mat& input, const FlowLevel& level, int begin, int end, cv::Mat& out,
                    cv::Mat& scratch);

// The level's image from the whole blurred input.
void resizeToLevel(const cv::Mat& blurred, const FlowLevel& level, cv::Mat& out);

} // namespace tl
