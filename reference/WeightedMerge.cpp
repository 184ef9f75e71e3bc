#include "reference/WeightedMerge.hpp"

#include "common/ElementType.hpp"
#include "common/TaskGroup.hpp"
#include "reference/ReducedFrame.hpp"

#include <algorithm>
#include <cmath>

namespace {

constexpr float instantWeight = 0.02f;  // the instant image's least weight where it is valid
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

float maskAt(const MergeFrame& frame, const Tap& row, const Tap& column) {
    if (frame.mask.empty()) return 0;
    const float* a = frame.mask.ptr<float>(row.first);
    const float* b = frame.mask.ptr<float>(row.second);
    const float top = a[column.first] + (a[column.second] - a[column.first]) * column.along;
    const float bottom = b[column.first] + (b[column.second] - b[column.first]) * column.along;
    return top + (bottom - top) * row.along;
}

template <typename T>
void addFrameRow(const MergeFrame& frame, bool isInstant, int y, const Tap& rowTap, const std::vector<Tap>& columns,
                 RowSums& sums) {
    if (!isInstant && (y < frame.valid.y || y >= frame.valid.y + frame.valid.height)) return;
    const int channels = frame.image.channels();
    const T* row = frame.image.ptr<T>(y);
    const SampleReading& read = frame.reading;
    const float trust = 1.0f / frame.gain;
    for (int x = isInstant ? 0 : frame.valid.x; x < (isInstant ? frame.image.cols : frame.valid.br().x); ++x) {
        const float left = maskAt(frame, rowTap, columns[static_cast<std::size_t>(x)]);
        if (left >= 1) continue;
        const T* v = row + x * channels;
        bool clipped = false;
        for (int c = 0; c < channels; ++c) clipped = clipped || read.clipped(v[c]);
        const std::size_t at = static_cast<std::size_t>(x * channels);
        for (int c = 0; c < channels; ++c) {
            const float light = read.light(v[c], c) * frame.gain;
            if (left < 0.5f) sums.bound[at + c] = std::max(sums.bound[at + c], light);
            if (clipped) continue;
            float w = read.weight(v[c]);
            const float kept = 1 - left;  // cubed: a frame half left out counts an eighth
            w = isInstant ? std::max(w, instantWeight) : w * trust * kept * kept * kept;
            sums.weighted[at + c] += w * light;
            sums.weights[at + c] += w;
        }
    }
}

template <typename T>
void mergeRows(const std::vector<MergeFrame>& frames, int instant, int factor, int first, int last, cv::Mat& out) {
    const cv::Size reduced = reducedSize(out.size(), factor);
    const std::vector<Tap> rows = tapsFor(out.rows, reduced.height, factor);
    const std::vector<Tap> columns = tapsFor(out.cols, reduced.width, factor);
    const std::size_t perRow = static_cast<std::size_t>(out.cols * out.channels());
    for (int y = first; y < last; ++y) {
        RowSums sums(perRow);
        for (std::size_t f = 0; f < frames.size(); ++f)
            addFrameRow<T>(frames[f], static_cast<int>(f) == instant, y, rows[static_cast<std::size_t>(y)], columns, sums);
        float* result = out.ptr<float>(y);
        for (std::size_t i = 0; i < perRow; ++i) {
            const float missing = std::max(0.0f, sufficientWeight - sums.weights[i]);
            result[i] = (sums.weighted[i] + missing * sums.bound[i]) / (sums.weights[i] + missing);
        }
    }
}

} // namespace

cv::Mat mergeWeighted(const std::vector<MergeFrame>& frames, int instant, int factor) {
    const cv::Mat& reference = frames[static_cast<std::size_t>(instant)].image;
    CV_Assert(reference.channels() <= largestChannels);
    cv::Mat out(reference.size(), CV_32FC(reference.channels()));
    withElementType(reference.depth(), [&]<typename T>() {
        runInSlices(static_cast<std::size_t>(out.rows), 16, [&](std::size_t first, std::size_t last) {
            mergeRows<T>(frames, instant, factor, static_cast<int>(first), static_cast<int>(last), out);
        });
    });
    return out;
}
