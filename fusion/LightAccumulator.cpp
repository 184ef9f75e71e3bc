#include "fusion/LightAccumulator.hpp"

#include "common/TaskGroup.hpp"
#include "fusion/LightNormalisation.hpp"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

namespace tl {

namespace {

constexpr double lightExponent = 2.2;

// std::pow of every value an 8- or 16-bit element can hold, built once per process. A
// lookup gives exactly the double that std::pow would, at a fraction of the cost.
template <typename T>
const std::vector<double>& lightTable() {
    static const std::vector<double> table = [] {
        std::vector<double> values(std::size_t{std::numeric_limits<T>::max()} + 1);
        for (std::size_t v = 0; v < values.size(); ++v)
            values[v] = std::pow(static_cast<double>(v), lightExponent);
        return values;
    }();
    return table;
}

// Sums and values are asked for 1 KiB of sums ahead, a cache line of sums at a time: the
// table lookups make the accesses irregular enough that the processor's own prefetching
// falls behind (bench/benchMerge shows the difference).
template <typename T>
void addLightOfRow(double* sum, const T* row, int length) {
    if constexpr (std::is_integral_v<T>) {
        constexpr int ahead = 128, line = 8;
        const double* light = lightTable<T>().data();
        for (int start = 0; start < length; start += line) {
            const int next = std::min(start + ahead, length - 1), end = std::min(start + line, length);
            __builtin_prefetch(sum + next);
            __builtin_prefetch(row + next);
            for (int i = start; i < end; ++i) sum[i] += light[row[i]];
        }
    } else {
        for (int i = 0; i < length; ++i) sum[i] += std::pow(static_cast<double>(row[i]), lightExponent);
    }
}

double larger(double value, double largest) { return value > largest ? value : largest; }

// The largest of the sums and the given largest; NaN is never the largest. The row was
// just written and is still in the cache. Four running maxima in turn keep the
// comparisons from waiting on each other; whatever the order, the maximum under one and
// the same comparison is the same value.
double largestOfRow(const double* sum, int length, double largest) {
    double running[4] = {largest, largest, largest, largest};
    int i = 0;
    for (; i + 4 <= length; i += 4)
        for (int lane = 0; lane < 4; ++lane) running[lane] = larger(sum[i + lane], running[lane]);
    for (; i < length; ++i) running[0] = larger(sum[i], running[0]);
    return larger(larger(running[0], running[1]), larger(running[2], running[3]));
}

} // namespace

// Each addition also finds the largest sum (0 when none is above 0), row by row as it
// goes: the normalisation needs it, and a scan of its own would read the hundreds of
// megabytes of a large sum once more after the last addition.
template <typename T>
void LightAccumulator::start(const cv::Mat& instant) {
    sum.release();
    largestSum = 0;
    cv::Mat made(instant.size(), CV_64FC(instant.channels()));
    const int length = instant.cols * instant.channels();
    // Only this addition meets a fresh sum, whose page faults make it the longest one; the
    // run waits for it before the first compensation. A band of rows per core shortens
    // that wait.
    std::mutex largestLock;
    runInSlices(instant.rows, 16, [&](std::size_t first, std::size_t last) {
        double largest = 0;
        for (int r = static_cast<int>(first); r < static_cast<int>(last); ++r) {
            double* row = made.ptr<double>(r);
            const T* values = instant.ptr<T>(r);
            for (int i = 0; i < length; ++i) row[i] = static_cast<double>(values[i]);
            largest = largestOfRow(row, length, largest);
        }
        const std::lock_guard<std::mutex> held(largestLock);
        largestSum = larger(largest, largestSum);
    });
    sum = made;
}

template <typename T>
void LightAccumulator::add(const cv::Mat& compensated) {
    if (sum.empty()) return;
    const int length = compensated.cols * compensated.channels();
    largestSum = 0;
    for (int r = 0; r < compensated.rows; ++r) {
        double* row = sum.ptr<double>(r);
        addLightOfRow(row, compensated.ptr<T>(r), length);
        largestSum = largestOfRow(row, length, largestSum);
    }
}

template void LightAccumulator::start<std::uint8_t>(const cv::Mat&);
template void LightAccumulator::start<std::uint16_t>(const cv::Mat&);
template void LightAccumulator::start<float>(const cv::Mat&);
template void LightAccumulator::add<std::uint8_t>(const cv::Mat&);
template void LightAccumulator::add<std::uint16_t>(const cv::Mat&);
template void LightAccumulator::add<float>(const cv::Mat&);

cv::Mat LightAccumulator::finish() const {
    if (sum.empty()) return cv::Mat();
    cv::Mat light(sum.size(), CV_32FC(sum.channels()));
    // A sequence without any light (all black) has nothing to divide by: its light image
    // is black instead of 0 / 0.
    if (!(largestSum > 0)) {
        light.setTo(0);
        return light;
    }
    // The normalisation, one power per element, is the slowest step of the merge's end;
    // each core takes a slice. Every element comes out as on one thread, so the split
    // changes no bit.
    const std::size_t total = sum.total() * sum.channels();
    const double* sums = sum.ptr<double>();
    float* out = light.ptr<float>();
    runInSlices(total, 1 << 16, [sums, out, largest = largestSum](std::size_t first, std::size_t last) {
        normaliseLight(sums + first, out + first, last - first, largest);
    });
    return light;
}

void LightAccumulator::clear() {
    sum.release();
    largestSum = 0;
}

} // namespace tl
