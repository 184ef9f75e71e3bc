#include "fusion/GhostDetector.hpp"

#include "common/ElementType.hpp"
#include "common/TaskGroup.hpp"
#include "fusion/GhostThresholds.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <type_traits>

namespace tl {

namespace {

// Index of an instant value in the threshold table. Integer images index directly;
// float values are truncated and kept inside the table (negative and NaN values use
// entry 0, values beyond the table its last entry).
template <typename T> int tableIndex(T value, int) { return value; }
template <> int tableIndex<float>(float value, int length) {
    if (!(value >= 1.0f)) return 0;
    if (value >= static_cast<float>(length - 1)) return length - 1;
    return static_cast<int>(value);
}

// The thresholds the ghost test compares with: entry i, times scale, for an instant value
// of index i.
struct ScaledTable {
    const float* values;
    int length;
    float scale;
};

// The smallest threshold of the table, as the ghost test compares it.
float smallestThreshold(const ScaledTable& table) {
    float smallest = table.values[0] * table.scale;
    for (int i = 1; i < table.length; ++i) smallest = std::min(smallest, table.values[i] * table.scale);
    return smallest;
}

// Whether every difference of the row is at most the smallest threshold. A NaN float
// difference fails, sending its row to the exact test, so that it cannot hide a larger
// difference from the maximum.
template <typename T> bool rowWithin(const cv::Mat& difference, float smallest) {
    if constexpr (std::is_integral_v<T>) {
        return cv::norm(difference, cv::NORM_INF) <= smallest;
    } else {
        const float* d = difference.ptr<float>();
        return std::all_of(d, d + difference.cols * difference.channels(), [smallest](float v) { return v <= smallest; });
    }
}

// Writes the mask rows [first, last): 255 at every pixel where some channel of the
// exposure differs from the instant image by more than the threshold of the instant
// value, 0 elsewhere; returns whether none did. A row whose largest difference is within
// the smallest threshold holds no ghost pixel and is passed after two vectorised sweeps;
// only the other rows are tested pixel by pixel. Both tests compare the same float
// differences, so the mask is the same.
template <typename T>
bool markDifferencesInRows(const cv::Mat& instant, const cv::Mat& exposure, const ScaledTable& thresholds,
                           cv::Mat& mask, int first, int last) {
    const float* table = thresholds.values;
    const int length = thresholds.length;
    const float scale = thresholds.scale;
    const int channels = instant.channels();
    const float smallest = smallestThreshold(thresholds);
    cv::Mat difference(1, instant.cols, instant.type());
    bool noGhost = true;
    for (int y = first; y < last; ++y) {
        uint8_t* m = mask.ptr<uint8_t>(y);
        std::fill(m, m + mask.cols, uint8_t{0});
        cv::absdiff(instant.row(y), exposure.row(y), difference);
        if (rowWithin<T>(difference, smallest)) continue;
        const T* a = instant.ptr<T>(y);
        const T* b = exposure.ptr<T>(y);
        for (int x = 0; x < instant.cols; ++x, a += channels, b += channels) {
            for (int c = 0; c < channels; ++c) {
                const float va = static_cast<float>(a[c]);
                const float vb = static_cast<float>(b[c]);
                if (std::fabs(va - vb) > table[tableIndex(a[c], length)] * scale) {
                    m[x] = 255;
                    noGhost = false;
                    break;
                }
            }
        }
    }
    return noGhost;
}

// The whole mask, a band of rows per core: the test runs between two additions of the
// light, while the accumulation worker waits, so the other cores are free.
template <typename T>
bool markDifferences(const cv::Mat& instant, const cv::Mat& exposure, const ScaledTable& thresholds, cv::Mat& mask) {
    std::atomic<bool> ghostFound{false};
    runInSlices(instant.rows, 16, [&](std::size_t first, std::size_t last) {
        if (!markDifferencesInRows<T>(instant, exposure, thresholds, mask, static_cast<int>(first),
                                      static_cast<int>(last)))
            ghostFound = true;
    });
    return !ghostFound;
}

} // namespace

// A float table is rebuilt unless the instant image's largest element is exactly its last
// index; an integer table whenever its length does not fit the depth; either when p
// changes.
void GhostDetector::prepareTable(int depth, float largestInstantElement, float thresholdPercent) {
    const ThresholdTableShape shape = thresholdTableShape(depth, largestInstantElement);
    const int length = static_cast<int>(table.size());
    const bool stale = depth == CV_32F ? largestInstantElement != static_cast<float>(length - 1) : length != shape.length;
    if (!stale && !table.empty() && thresholdPercent == tablePercent) return;
    table.assign(shape.length, 0.0f);
    tablePercent = thresholdPercent;
    fillThresholdTable(table.data(), shape.length, thresholdPercent, shape.scale);
}

GhostMask GhostDetector::detect(const cv::Mat& instant, const cv::Mat& exposure, float thresholdPercent) {
    CV_Assert(instant.size() == exposure.size() && instant.type() == exposure.type());
    const int depth = instant.depth();
    const float largest = depth == CV_32F ? static_cast<float>(largestElement(instant)) : 0.0f;
    prepareTable(depth, largest, thresholdPercent);
    const float scale = thresholdTableShape(depth, largest).scale;

    // A buffer of its own (never one shared with an earlier mask); every row is written.
    GhostMask ghosts{cv::Mat(instant.size(), CV_8UC1), true};
    const bool supported = withElementType(depth, [&]<typename T>() {
        ghosts.noGhost =
            markDifferences<T>(instant, exposure, {table.data(), static_cast<int>(table.size()), scale}, ghosts.mask);
    });
    CV_Assert(supported);

    // An empty mask stays empty through the clean-up.
    if (ghosts.noGhost) return ghosts;
    // The constant border keeps pixels outside the image neutral.
    cv::erode(ghosts.mask, ghosts.mask, cv::Mat::ones(3, 3, CV_8U));
    cv::dilate(ghosts.mask, ghosts.mask, cv::Mat::ones(9, 9, CV_8U));
    return ghosts;
}

} // namespace tl
