#include "align/FlowPyramid.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>

namespace tl {

namespace {

constexpr int maxCoarseLevels = 4;
constexpr int smallestSide = 32;

// Rows of the input image held in a strip: rows [first, first + rows.rows) of an image of
// imageRows rows.
struct InputStrip {
    cv::Mat rows;
    int first;
    int imageRows;
};

// Blurs the strip into `out` for image rows [begin, end). A view into the strip lets the
// filter read the real rows around it; where the strip is the whole image, it is filtered
// as the whole image.
void blurStrip(const InputStrip& input, const FlowLevel& level, int begin, int end, cv::Mat out) {
    const cv::Mat& strip = input.rows;
    const int first = input.first;
    const cv::Size kernel(level.blurSide, level.blurSide);
    const bool whole = strip.rows == input.imageRows;
    const cv::Mat rows = whole ? strip : strip.rowRange(begin - first, end - first);
    if (whole) {
        cv::Mat blurred;
        cv::GaussianBlur(rows, blurred, kernel, level.sigma, level.sigma);
        blurred.rowRange(begin - first, end - first).copyTo(out);
    } else {
        cv::GaussianBlur(rows, out, kernel, level.sigma, level.sigma);
    }
}

} // namespace

std::vector<FlowLevel> flowLevels(cv::Size size) {
    int levels = 0;
    double scale = 1;
    for (; levels < maxCoarseLevels; levels++) {
        scale *= flowPyramidScale;
        if (size.width * scale < smallestSide || size.height * scale < smallestSide) break;
    }
    std::vector<FlowLevel> result;
    for (int k = 0; k <= levels; k++) {
        scale = 1;
        for (int i = 0; i < k; i++) scale *= flowPyramidScale;
        const double sigma = (1. / scale - 1) * 0.5;
        const int side = std::max(cvRound(sigma * 5) | 1, 3);
        result.push_back({cvRound(size.width * scale), cvRound(size.height * scale), sigma, side});
    }
    return result;
}

void blurLevelStrip(const cv::Mat& input, const FlowLevel& level, int begin, int end, cv::Mat& out,
                    cv::Mat& scratch) {
    // A single column is blurred from the whole column, the only way its result matches.
    const int reach = input.cols == 1 ? input.rows : level.blurSide / 2;
    const int first = std::max(0, begin - reach), last = std::min(input.rows, end + reach);
    input.rowRange(first, last).convertTo(scratch, CV_32F);
    out.create(end - begin, input.cols, CV_32F);
    blurStrip({scratch, first, input.rows}, level, begin, end, out);
}

void blurLevelRows(const cv::Mat& input, const FlowLevel& level, int begin, int end, cv::Mat& out,
                   cv::Mat& scratch) {
    cv::Mat rows = out.rowRange(begin, end);
    blurLevelStrip(input, level, begin, end, rows, scratch);
}

void resizeToLevel(const cv::Mat& blurred, const FlowLevel& level, cv::Mat& out) {
    // Called as OpenCV's dense flow calls it, interpolation in the place of the x factor.
    cv::resize(blurred, out, cv::Size(level.width, level.height), cv::INTER_LINEAR);
}

} // namespace tl
