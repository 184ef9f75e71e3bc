#include "diag/Log.hpp"
#include "fusion/GhostThresholds.hpp"
#include "fusion/ParallelSlices.hpp"
#include "merge/MergeEngine.hpp"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <type_traits>

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

// The smallest threshold of the table, as the ghost test compares it.
float smallestThreshold(const float* table, int length, float scale) {
    float smallest = table[0] * scale;
    for (int i = 1; i < length; ++i) smallest = std::min(smallest, table[i] * scale);
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
bool markDifferencesInRows(const cv::Mat& instant, const cv::Mat& exposure, const float* table,
                           int length, float scale, cv::Mat& mask, int first, int last) {
    const int channels = instant.channels();
    const float smallest = smallestThreshold(table, length, scale);
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
bool markDifferences(const cv::Mat& instant, const cv::Mat& exposure, const float* table,
                     int length, float scale, cv::Mat& mask) {
    std::atomic<bool> ghostFound{false};
    runInSlices(instant.rows, 16, [&](std::size_t first, std::size_t last) {
        if (!markDifferencesInRows<T>(instant, exposure, table, length, scale, mask, static_cast<int>(first),
                                      static_cast<int>(last)))
            ghostFound = true;
    });
    return !ghostFound;
}

float largestElement(const cv::Mat& image) {
    double largest = 0;
    cv::minMaxLoc(image.reshape(1), nullptr, &largest);
    return static_cast<float>(largest);
}

} // namespace

bool MergeEngine::buildGhostMask() {
    const int depth = instantImage.depth();
    const float maxElement = depth == CV_32F ? largestElement(instantImage) : 0.0f;
    const ThresholdTableShape shape = thresholdTableShape(depth, maxElement);
    // The table depends only on the run's instant image and p, so it is kept across
    // exposures; a float table is rebuilt unless the largest element is exactly its
    // last index.
    const bool stale = depth == CV_32F ? maxElement != static_cast<float>(thresholdTableLength - 1)
                                       : thresholdTableLength != shape.length;
    if (stale) {
        thresholdTable = std::make_unique<float[]>(shape.length);
        thresholdTableLength = shape.length;
        fillThresholdTable(thresholdTable.get(), shape.length, ghostThreshold, shape.scale);
    }

    // A buffer of its own (never one shared with an earlier mask); every row is written.
    ghostMask = cv::Mat(instantImage.size(), CV_8UC1);
    bool noGhost = true;
    const float* table = thresholdTable.get();
    switch (depth) {
    case CV_8U:
        noGhost = markDifferences<uint8_t>(instantImage, exposure, table, thresholdTableLength, shape.scale, ghostMask);
        break;
    case CV_16U:
        noGhost = markDifferences<uint16_t>(instantImage, exposure, table, thresholdTableLength, shape.scale, ghostMask);
        break;
    default:
        noGhost = markDifferences<float>(instantImage, exposure, table, thresholdTableLength, shape.scale, ghostMask);
        break;
    }

    // An empty mask stays empty through the clean-up.
    if (noGhost) return true;
    // Clean-up: areas without a solid 3 x 3 square are noise and go; what stays is grown
    // by 4 pixels all round. The constant border keeps pixels outside the image neutral.
    cv::erode(ghostMask, ghostMask, cv::Mat::ones(3, 3, CV_8U));
    cv::dilate(ghostMask, ghostMask, cv::Mat::ones(9, 9, CV_8U));
    return noGhost;
}

bool MergeEngine::chooseGhostingPower(bool noGhost) {
    if (noGhost) {
        searchRadius = 2 * patchHalfSize + 1;
        return true;
    }
    try {
        searchRadius = estimateGhostingPower(ghostMask);
        return true;
    } catch (...) {
        reportError("Computing ghosting power",
                    "The automatic ghosting power option failed maybe because of a lack of memory, "
                    "try to disable this option next times");
        return false;
    }
}
