#include "reference/WeightedMerge.hpp"

#include "common/ElementType.hpp"
#include "common/TaskGroup.hpp"
#include "reference/ReducedFrame.hpp"
#include "reference/WeightMap.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

// Below this total weight the best bound joins the mean with the weight that is missing:
// where every frame that is kept is clipped, the faint rest of a frame's feathered edge
// would otherwise decide the pixel alone.
constexpr float sufficientWeight = 0.1f;

// Where a full-size coordinate falls between two reduced pixels.
struct Tap {
    int first, second;
    float along;  // 0 at first, 1 at second
};

std::vector<Tap> tapsFor(int size, int reducedSize, int factor) {
    std::vector<Tap> taps(static_cast<std::size_t>(size));
    for (int x = 0; x < size; ++x) {
        const float position = std::clamp((x + 0.5f) / factor - 0.5f, 0.0f, static_cast<float>(reducedSize - 1));
        const int first = static_cast<int>(position);
        taps[static_cast<std::size_t>(x)] = {first, std::min(first + 1, reducedSize - 1), position - first};
    }
    return taps;
}

// The running sums of one row.
struct RowSums {
    std::vector<float> weighted, weights, bound;
    explicit RowSums(std::size_t n) : weighted(n, 0), weights(n, 0), bound(n, 0) {}
};

// A reduced map's channel at a full-size position, interpolated bilinearly.
float mapAt(const cv::Mat& map, const Tap& row, const Tap& column, int channel) {
    const int channels = map.channels();
    const float* a = map.ptr<float>(row.first);
    const float* b = map.ptr<float>(row.second);
    const int left = column.first * channels + channel, right = column.second * channels + channel;
    const float top = a[left] + (a[right] - a[left]) * column.along;
    const float bottom = b[left] + (b[right] - b[left]) * column.along;
    return top + (bottom - top) * row.along;
}

// A frame with the weights of its samples.
struct WeightedFrame {
    const MergeFrame& frame;
    cv::Mat weights;  // weightMap at the reduced size
    bool isInstant;
};

template <typename T>
void addFrameRow(const WeightedFrame& weighted, int y, const Tap& rowTap, const std::vector<Tap>& columns, RowSums& sums) {
    const MergeFrame& frame = weighted.frame;
    const bool isInstant = weighted.isInstant;
    if (!isInstant && (y < frame.valid.y || y >= frame.valid.y + frame.valid.height)) return;
    const int channels = frame.image.channels();
    const T* row = frame.image.ptr<T>(y);
    const SampleReading& read = frame.reading;
    const float trust = 1.0f / frame.gain;
    for (int x = isInstant ? 0 : frame.valid.x; x < (isInstant ? frame.image.cols : frame.valid.br().x); ++x) {
        const Tap& column = columns[static_cast<std::size_t>(x)];
        const float left = frame.mask.empty() ? 0 : mapAt(frame.mask, rowTap, column, 0);
        if (left >= 1) continue;
        const T* v = row + x * channels;
        bool clipped = false;
        for (int c = 0; c < channels; ++c) clipped = clipped || read.clipped(v[c]);
        const std::size_t at = static_cast<std::size_t>(x * channels);
        for (int c = 0; c < channels; ++c) {
            const float light = read.light(v[c], c) * frame.gain;
            if (left < 0.5f) sums.bound[at + c] = std::max(sums.bound[at + c], light);
            if (clipped) continue;
            const float kept = 1 - left;  // cubed: a frame half left out counts an eighth
            const float hat = mapAt(weighted.weights, rowTap, column, c) * read.fallingWeight(v[c]);
            const float w = isInstant ? std::max(hat, leastWeight) : hat * trust * kept * kept * kept;
            sums.weighted[at + c] += w * light;
            sums.weights[at + c] += w;
        }
    }
}

template <typename T>
void mergeRows(const std::vector<WeightedFrame>& frames, int factor, int first, int last, cv::Mat& out) {
    const cv::Size reduced = reducedSize(out.size(), factor);
    const std::vector<Tap> rows = tapsFor(out.rows, reduced.height, factor);
    const std::vector<Tap> columns = tapsFor(out.cols, reduced.width, factor);
    const std::size_t perRow = static_cast<std::size_t>(out.cols * out.channels());
    for (int y = first; y < last; ++y) {
        RowSums sums(perRow);
        for (const WeightedFrame& frame : frames) addFrameRow<T>(frame, y, rows[static_cast<std::size_t>(y)], columns, sums);
        float* result = out.ptr<float>(y);
        for (std::size_t i = 0; i < perRow; ++i) {
            const float missing = std::max(0.0f, sufficientWeight - sums.weights[i]);
            result[i] = (sums.weighted[i] + missing * sums.bound[i]) / (sums.weights[i] + missing);
        }
    }
}

} // namespace

cv::Mat mergeWeighted(const std::vector<MergeFrame>& frames, const std::vector<cv::Mat>& weights, int instant, int factor) {
    const cv::Mat& reference = frames[static_cast<std::size_t>(instant)].image;
    CV_Assert(reference.channels() <= largestChannels);
    cv::Mat out(reference.size(), CV_32FC(reference.channels()));
    std::vector<WeightedFrame> weighted;
    for (std::size_t f = 0; f < frames.size(); ++f)
        weighted.push_back({frames[f], weights[f], static_cast<int>(f) == instant});
    withElementType(reference.depth(), [&]<typename T>() {
        runInSlices(static_cast<std::size_t>(out.rows), 16, [&](std::size_t first, std::size_t last) {
            mergeRows<T>(weighted, factor, static_cast<int>(first), static_cast<int>(last), out);
        });
    });
    return out;
}

} // namespace tl
