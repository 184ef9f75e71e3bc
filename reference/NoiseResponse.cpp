#include "reference/NoiseResponse.hpp"

#include "common/ElementType.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tl {

namespace {

constexpr int codeCount = 256;
constexpr double enoughNoisePixels = 250000;
constexpr float stillMask = 0.02f;         // a frame left out by more than this is not still
// A code told by fewer samples than this share of them lies mostly on edges, where JPEG's
// ringing moves with the noise and the spread is no longer the noise's.
constexpr double fewestCodeShare = 1.0 / 1500;
constexpr std::size_t fewestCodeSamples = 30;
constexpr double readNoiseShare = 0.002;   // b / a, as a share of the top code's light
constexpr int smoothingSpan = 4;           // codes on either side, for the spread's logarithm
constexpr double outlierFactor = 8;       // a variance this far above its code's median is no noise
constexpr double floorShare = 0.012, clipShare = 0.98;  // of the code range: what the spread leaves out

// Per code of their mean (in knot units): the variances of the still samples' codes across
// the frames, and how many samples there touched the floor, whose spread the cut makes look
// smaller than it is. Samples of pixels where a channel clips are left out.
struct CodeSamples {
    std::vector<float> variances;
    std::size_t cut = 0;
};
using Variances = std::vector<CodeSamples>;

bool stillAt(const std::vector<MergeFrame>& frames, int x, int y, int factor) {
    for (const MergeFrame& f : frames) {
        if (!f.valid.contains({x, y})) return false;
        if (!f.mask.empty() && f.mask.at<float>(y / factor, x / factor) > stillMask) return false;
    }
    return true;
}

// One channel's codes at one pixel across the frames.
struct PixelCodes {
    double sum = 0, squares = 0, low = std::numeric_limits<double>::infinity(), high = 0;
    void add(double v) {
        sum += v;
        squares += v * v;
        low = std::min(low, v);
        high = std::max(high, v);
    }
};

template <typename T>
Variances gatherVariances(const std::vector<MergeFrame>& frames, int factor) {
    const cv::Mat& first = frames.front().image;
    const double top = first.depth() == CV_16U ? 65535 : 255, toKnots = 255 / top;
    const int stride = std::max(1, static_cast<int>(std::ceil(std::sqrt(static_cast<double>(first.total()) / enoughNoisePixels))));
    const int channels = first.channels();
    const double n = static_cast<double>(frames.size());
    Variances variances(codeCount);
    for (int y = stride / 2; y < first.rows; y += stride)
        for (int x = stride / 2; x < first.cols; x += stride) {
            if (!stillAt(frames, x, y, factor)) continue;
            PixelCodes codes[3];
            bool anyClipped = false;
            for (int c = 0; c < std::min(channels, 3); ++c) {
                for (const MergeFrame& f : frames) codes[c].add(f.image.ptr<T>(y)[x * channels + c]);
                anyClipped = anyClipped || codes[c].high >= clipShare * top;
            }
            // JPEG's colour conversion ties the channels: where one clips, the others' codes
            // are bent too.
            if (anyClipped) continue;
            for (int c = 0; c < std::min(channels, 3); ++c) {
                const double mean = codes[c].sum / n;
                CodeSamples& code = variances[static_cast<std::size_t>(std::lround(mean * toKnots))];
                if (codes[c].low <= floorShare * top) {
                    ++code.cut;
                    continue;
                }
                const double variance = std::max(0.0, (codes[c].squares - n * mean * mean) / (n - 1)) * toKnots * toKnots;
                code.variances.push_back(static_cast<float>(variance));
            }
        }
    return variances;
}

// The variance of one code's samples: their mean, which rounded codes leave unbiased where
// a median would jump between the few values the variance of a handful of integers takes,
// without the samples far beyond the median (an edge the noise does not explain).
double meanVariance(std::vector<float>& v) {
    std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
    const double cutoff = outlierFactor * std::max(static_cast<double>(v[v.size() / 2]), 0.25);
    double sum = 0;
    std::size_t kept = 0;
    for (float x : v)
        if (x <= cutoff) sum += x, ++kept;
    return sum / static_cast<double>(kept);
}

// The spread of the codes per code (knot units) where enough samples tell it, hardly any of
// them cut short by the floor; 0 elsewhere.
std::vector<double> spreads(Variances& variances, bool eightBit) {
    std::vector<double> spread(codeCount, 0);
    std::size_t samples = 0;
    for (const CodeSamples& code : variances) samples += code.variances.size();
    const auto fewest = std::max(fewestCodeSamples, static_cast<std::size_t>(fewestCodeShare * static_cast<double>(samples)));
    const double quantisation = eightBit ? 1.0 / 12 : 0;
    for (std::size_t u = 0; u < variances.size(); ++u) {
        CodeSamples& code = variances[u];
        if (code.variances.size() < fewest || code.cut > code.variances.size() / 100) continue;
        const double variance = meanVariance(code.variances) - quantisation;
        if (variance > 0.01) spread[u] = std::sqrt(variance);
    }
    return spread;
}

// log(spread) at every code: interpolated between the codes told, held beyond them, and
// smoothed. Nothing when the told codes do not reach from 48 or below to 128 or above.
std::optional<std::vector<double>> logSpreads(const std::vector<double>& spread) {
    std::vector<int> told;
    for (int u = 0; u < codeCount; ++u)
        if (spread[static_cast<std::size_t>(u)] > 0) told.push_back(u);
    if (told.size() < 32 || told.front() > 48 || told.back() < 128) return std::nullopt;
    std::vector<double> filled(codeCount);
    std::size_t next = 0;
    for (int u = 0; u < codeCount; ++u) {
        while (next + 1 < told.size() && told[next] < u) ++next;
        const int right = told[next], left = next > 0 ? told[next - 1] : right;
        const double a = std::log(spread[static_cast<std::size_t>(left)]), b = std::log(spread[static_cast<std::size_t>(right)]);
        filled[static_cast<std::size_t>(u)] = u >= right || left == right ? b : a + (b - a) * (u - left) / (right - left);
        if (u <= told.front()) filled[static_cast<std::size_t>(u)] = std::log(spread[static_cast<std::size_t>(told.front())]);
    }
    std::vector<double> smooth(codeCount);
    for (int u = 0; u < codeCount; ++u) {
        double sum = 0;
        int count = 0;
        for (int d = -smoothingSpan; d <= smoothingSpan; ++d)
            if (u + d >= 0 && u + d < codeCount) sum += filled[static_cast<std::size_t>(u + d)], ++count;
        smooth[static_cast<std::size_t>(u)] = sum / count;
    }
    return smooth;
}

// log2 g(u) from log(spread): H the running integral of 1 / spread, g = (H + c)^2 - c^2 with
// c set by the read noise's share.
std::vector<double> log2Light(const std::vector<double>& logSpread) {
    std::vector<double> integral(codeCount, 0);
    for (std::size_t u = 1; u < codeCount; ++u)
        integral[u] = integral[u - 1] + (std::exp(-logSpread[u - 1]) + std::exp(-logSpread[u])) / 2;
    const double total = integral.back();
    const double c = total * (readNoiseShare + std::sqrt(readNoiseShare * readNoiseShare + readNoiseShare));
    std::vector<double> log2g(codeCount);
    for (std::size_t u = 0; u < codeCount; ++u) {
        const double g = (integral[u] + c) * (integral[u] + c) - c * c;
        log2g[u] = std::log2(std::max(g, 1e-30));
    }
    return log2g;
}

} // namespace

std::optional<CameraResponse> responseFromNoise(const std::vector<MergeFrame>& frames, int factor) {
    if (frames.size() < 3 || frames.front().image.depth() == CV_32F) return std::nullopt;
    const cv::Mat& first = frames.front().image;
    Variances variances;
    withElementType(first.depth(), [&]<typename T>() { variances = gatherVariances<T>(frames, factor); });
    const auto logSpread = logSpreads(spreads(variances, first.depth() == CV_8U));
    if (!logSpread) return std::nullopt;
    const std::vector<double> log2g = log2Light(*logSpread);
    // A curve that does not rise by a few stops over the well-exposed codes is no camera's.
    if (log2g[200] - log2g[40] < 1.5) return std::nullopt;
    return CameraResponse::fromLogKnots(log2g, 2);
}

} // namespace tl
