#include "reference/ReducedFrame.hpp"

#include "common/ElementType.hpp"
#include "common/TaskGroup.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {


// The reduced row ry of every output: the blocks' sums, clipped and dark flags.
template <typename T>
void reduceRow(const cv::Mat& frame, const SampleReading& reading, float gain, int factor, int ry, ReducedFrame& out) {
    const int channels = frame.channels();
    const int top = ry * factor, bottom = std::min(frame.rows, top + factor);
    float* light = out.light.ptr<float>(ry);
    std::uint8_t* clipped = out.clipped.ptr<std::uint8_t>(ry);
    std::uint8_t* dark = out.dark.ptr<std::uint8_t>(ry);
    for (int rx = 0; rx < out.light.cols; ++rx) {
        const int left = rx * factor, right = std::min(frame.cols, left + factor);
        float sum[largestChannels] = {};
        bool anyClipped[largestChannels] = {}, allDark[largestChannels] = {true, true, true, true};
        for (int y = top; y < bottom; ++y) {
            const T* row = frame.ptr<T>(y) + left * channels;
            for (int x = 0; x < (right - left) * channels; x += channels)
                for (int c = 0; c < channels; ++c) {
                    const T v = row[x + c];
                    sum[c] += reading.light(v, c);
                    anyClipped[c] = anyClipped[c] || reading.nearClip(v);
                    allDark[c] = allDark[c] && reading.dark(v);
                }
        }
        const float scale = gain / static_cast<float>((bottom - top) * (right - left));
        for (int c = 0; c < channels; ++c) {
            light[rx * channels + c] = sum[c] * scale;
            clipped[rx * channels + c] = anyClipped[c] ? 255 : 0;
            dark[rx * channels + c] = allDark[c] ? 255 : 0;
        }
    }
}

} // namespace

cv::Size reducedSize(cv::Size size, int factor) {
    return {(size.width + factor - 1) / factor, (size.height + factor - 1) / factor};
}

int reductionFactor(cv::Size size) {
    return std::max(1, static_cast<int>(std::sqrt(static_cast<double>(size.area()) / 1.0e6)));
}

ReducedFrame reduceFrame(const cv::Mat& frame, const SampleReading& reading, float gain, int factor) {
    CV_Assert(frame.channels() <= largestChannels);
    const cv::Size size = reducedSize(frame.size(), factor);
    ReducedFrame out{cv::Mat(size, CV_32FC(frame.channels())), cv::Mat(size, CV_8UC(frame.channels())),
                     cv::Mat(size, CV_8UC(frame.channels()))};
    withElementType(frame.depth(), [&]<typename T>() {
        runInSlices(static_cast<std::size_t>(size.height), 8, [&](std::size_t first, std::size_t last) {
            for (std::size_t ry = first; ry < last; ++ry)
                reduceRow<T>(frame, reading, gain, factor, static_cast<int>(ry), out);
        });
    });
    return out;
}

} // namespace tl
