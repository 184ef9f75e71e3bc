#include "reference/ResponseFit.hpp"

#include <algorithm>
#include <cmath>

namespace tl {

namespace {

constexpr int knots = 256;
constexpr double closestPair = 1.0 / 3;  // stops
// How far apart frames with others between them may be paired, in stops: 8-bit codes
// hold the toe in a few codes per stop, too coarsely for a mapping into another frame's
// shoulder; 16-bit codes hold it finely.
double widestPair(int depth) { return depth == CV_8U ? 3.2 : 1e9; }
constexpr double smoothness = 16;        // weight of the curvature rows against a data row
// The codes (in knot units) a mapping is trusted between: above the noise floor, below
// the clip level.
constexpr double lowestCode = 4, highestCode = 240;
// Above the codes the pairs tell, and above lastFitted in any case, the curve goes on
// straight (in log2 light) with its slope over slopeSpan codes below: near the clip level
// noise piles samples into the top codes, and the few rows there bend the curve - by more
// than a stop where one bright area of the scene fills them.
constexpr int lastFitted = 200, slopeSpan = 48;

// Cumulative histogram of all samples of a frame (every channel): entry b is the share of
// samples in the bins up to b. 8-bit frames have a bin per code, 16-bit frames 1024 bins.
struct Cumulative {
    std::vector<double> share;
    double codesPerBin;  // codes of the frame's depth
    double knotsPerCode;

    // The middle of bin b, in knot units.
    double binMiddle(int b) const { return (b * codesPerBin + (codesPerBin - 1) / 2) * knotsPerCode; }
};

Cumulative cumulativeHistogram(const cv::Mat& frame) {
    const bool wide = frame.depth() == CV_16U;
    const int bins = wide ? 1024 : 256;
    std::vector<double> counts(static_cast<std::size_t>(bins), 0);
    const int perRow = frame.cols * frame.channels();
    for (int y = 0; y < frame.rows; ++y)
        for (int x = 0; x < perRow; ++x) {
            const int v = wide ? frame.ptr<std::uint16_t>(y)[x] >> 6 : frame.ptr<std::uint8_t>(y)[x];
            counts[static_cast<std::size_t>(v)] += 1;
        }
    double total = 0;
    for (double& c : counts) c = total += c;
    for (double& c : counts) c /= std::max(total, 1.0);
    const double top = wide ? 65535 : 255;
    return {counts, (top + 1) / bins, 255 / top};
}

// The code (knot units, continuous) below which the share p of the frame's samples lies.
double codeAtShare(const Cumulative& c, double p) {
    const auto above = std::upper_bound(c.share.begin(), c.share.end(), p);
    const auto b = static_cast<std::size_t>(above - c.share.begin());
    if (b >= c.share.size()) return 255;
    const double before = b == 0 ? 0 : c.share[b - 1];
    const double within = (p - before) / std::max(c.share[b] - before, 1e-12);
    return std::clamp(((static_cast<double>(b) + within) * c.codesPerBin - 0.5) * c.knotsPerCode, 0.0, 255.0);
}

// Rows of the least-squares problem, gathered straight into its normal equations.
struct Normal {
    cv::Mat a = cv::Mat::zeros(knots, knots, CV_64F), b = cv::Mat::zeros(knots, 1, CV_64F);
    int dataRows = 0;
    double lowestTold = 255, highestTold = 0;

    // weight * (sum of coefficient * g(knot) - value) = 0
    void add(const std::vector<std::pair<int, double>>& terms, double value, double weight) {
        const double w2 = weight * weight;
        for (const auto& [i, ci] : terms) {
            for (const auto& [j, cj] : terms) a.at<double>(i, j) += w2 * ci * cj;
            b.at<double>(i) += w2 * ci * value;
        }
    }
};

// g at continuous code u as interpolation terms between its two knots, scaled by sign.
void addKnotTerms(std::vector<std::pair<int, double>>& terms, double u, double sign) {
    const int k = std::min(static_cast<int>(u), knots - 2);
    const double t = u - k;
    terms.emplace_back(k, sign * (1 - t));
    terms.emplace_back(k + 1, sign * t);
}

double trust(double u) { return std::clamp(std::min((u - lowestCode) / 16, (highestCode - u) / 16), 0.0, 1.0); }

// The code of the brighter frame that each bin of the darker maps to.
std::vector<double> mappedCodes(const Cumulative& darker, const Cumulative& brighter) {
    std::vector<double> codes(darker.share.size());
    for (std::size_t bin = 0; bin < codes.size(); ++bin) {
        const double before = bin == 0 ? 0 : darker.share[bin - 1];
        codes[bin] = codeAtShare(brighter, (before + darker.share[bin]) / 2);
    }
    return codes;
}

// One row per code of the darker frame: g(code it maps to in the brighter) - g(code) = gap.
// Where the mapping runs nearly flat or steep, the two histograms hold different things
// there (something moved over a stretch of codes that few samples have): no row.
void addPair(Normal& normal, const Cumulative& darker, const Cumulative& brighter, double gap) {
    const int bins = static_cast<int>(darker.share.size());
    const std::vector<double> mapped = mappedCodes(darker, brighter);
    for (int bin = 1; bin + 1 < bins; ++bin) {
        const std::size_t b = static_cast<std::size_t>(bin);
        const double mass = darker.share[b] - darker.share[b - 1];
        const double u = darker.binMiddle(bin), v = mapped[b];
        const double slope = (mapped[b + 1] - mapped[b - 1]) / (darker.binMiddle(bin + 1) - darker.binMiddle(bin - 1));
        const double weight = std::min(std::sqrt(mass * knots), 3.0) * trust(u) * trust(v);
        if (mass <= 1e-6 || weight <= 0 || v <= u || slope < 0.25 || slope > 8) continue;
        std::vector<std::pair<int, double>> terms;
        addKnotTerms(terms, v, 1);
        addKnotTerms(terms, u, -1);
        normal.add(terms, gap, weight);
        ++normal.dataRows;
        normal.lowestTold = std::min(normal.lowestTold, u);
        normal.highestTold = std::max(normal.highestTold, v);
    }
}

void extendStraight(std::vector<double>& log2Light, int lastTold) {
    const int last = std::clamp(lastTold, slopeSpan, knots - 1);
    const auto at = [&](int k) { return log2Light[static_cast<std::size_t>(k)]; };
    const double slope = (at(last) - at(last - slopeSpan)) / slopeSpan;
    for (int k = last + 1; k < knots; ++k)
        log2Light[static_cast<std::size_t>(k)] = log2Light[static_cast<std::size_t>(last)] + slope * (k - last);
}

// Each frame's exposure level: its rank among the exposures, a frame within closestPair of
// the first frame of the level below joining that level.
std::vector<int> exposureLevels(const std::vector<double>& log2Exposures) {
    std::vector<std::size_t> order(log2Exposures.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return log2Exposures[a] < log2Exposures[b]; });
    std::vector<int> level(order.size(), 0);
    double levelStart = 0;
    int current = -1;
    for (std::size_t i : order) {
        if (current < 0 || log2Exposures[i] - levelStart >= closestPair) {
            ++current;
            levelStart = log2Exposures[i];
        }
        level[i] = current;
    }
    return level;
}

void addSmoothness(Normal& normal) {
    for (int k = 1; k < knots - 1; ++k) normal.add({{k - 1, 1.0}, {k, -2.0}, {k + 1, 1.0}}, 0, smoothness);
    normal.add({{knots / 2, 1.0}}, 0, 100);  // the curve's height is free: fix it in the middle
}

} // namespace

std::optional<CameraResponse> fitCameraResponse(const std::vector<cv::Mat>& samples,
                                                const std::vector<double>& log2Exposures) {
    if (samples.empty() || samples.front().depth() == CV_32F) return std::nullopt;
    std::vector<Cumulative> histograms;
    for (const cv::Mat& frame : samples) histograms.push_back(cumulativeHistogram(frame));
    // Frames of neighbouring levels, and others up to widestPair apart: frames further apart
    // meet only in the toe of one and the shoulder of the other, where the mapping is least
    // sure, and they outnumber the neighbours in a long bracket.
    const std::vector<int> level = exposureLevels(log2Exposures);
    const double widest = widestPair(samples.front().depth());
    Normal normal;
    for (std::size_t i = 0; i < samples.size(); ++i)
        for (std::size_t j = 0; j < samples.size(); ++j) {
            const double gap = log2Exposures[j] - log2Exposures[i];
            if (level[j] == level[i] + 1 || (level[j] > level[i] && gap <= widest))
                addPair(normal, histograms[i], histograms[j], gap);
        }
    // A curve needs the frames to tell most of the range of codes.
    if (normal.dataRows < 64 || normal.lowestTold > 40 || normal.highestTold < 200) return std::nullopt;
    addSmoothness(normal);
    cv::Mat curve;
    if (!cv::solve(normal.a, normal.b, curve, cv::DECOMP_CHOLESKY)) return std::nullopt;
    std::vector<double> log2Light(curve.begin<double>(), curve.end<double>());
    extendStraight(log2Light, std::min(static_cast<int>(normal.highestTold), lastFitted));
    // A curve that does not rise by a few stops over the well-exposed codes is no camera's.
    if (log2Light[200] - log2Light[40] < 1.5) return std::nullopt;
    const int firstTrusted = std::clamp(static_cast<int>(std::ceil(normal.lowestTold)), 2, 64);
    return CameraResponse::fromLogKnots(log2Light, firstTrusted);
}

std::optional<CameraResponse> fitChannelResponses(const std::vector<cv::Mat>& samples,
                                                  const std::vector<double>& log2Exposures) {
    if (samples.empty()) return std::nullopt;
    std::vector<CameraResponse> curves;
    for (int c = 0; c < std::min(samples.front().channels(), 3); ++c) {
        std::vector<cv::Mat> channel(samples.size());
        for (std::size_t i = 0; i < samples.size(); ++i) cv::extractChannel(samples[i], channel[i], c);
        const auto curve = fitCameraResponse(channel, log2Exposures);
        if (!curve) return std::nullopt;
        curves.push_back(*curve);
    }
    return CameraResponse::perChannel(curves);
}

} // namespace tl
