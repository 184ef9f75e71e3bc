#include "align/LevelFlow.hpp"

#include "align/FlowMatrices.hpp"
#include "align/FlowRowKernels.hpp"

#include <algorithm>

namespace tl {

namespace {

constexpr int bandRows = 32;
constexpr int flowWindow = 5;
// Rows of the second expansion kept around a band beyond the band's own: flows up to
// this many rows away are served from the shared ring; a pixel that samples further
// away gets the four values it needs computed for it alone.
constexpr int sampledMargin = 64;

} // namespace

struct LevelFlow::MemberRows {
    std::vector<float> firstRow;          // the first expansion's current row
    std::vector<float> expansionScratch;
    cv::Mat strip, stripScratch;          // level 0: the first image's blurred rows
    int stripBegin = 0;
    std::vector<float> farTop, farBottom;  // the second expansion at a pixel outside the ring
    std::vector<int> missing;             // ring rows to compute for the current band
    std::vector<int32_t> ringOffsets;     // where each ring row starts, from the lowest held
    std::vector<int> missed;              // pixels of a row that sample outside the ring
};

LevelFlow::LevelFlow(const FlowLevel& level, const cv::Mat& firstImage, const cv::Mat& firstInput,
                     const cv::Mat& secondImage, cv::Mat& flow, ThreadTeam& team)
    : level(level), firstImage(firstImage), firstInput(firstInput), secondImage(secondImage), flow(flow),
      team(team), width(level.width), height(level.height), solve(level.width, flowWindow) {
    const int m = solve.halfWindow();
    const int ringRows = std::min(height, bandRows + m + 2 * sampledMargin + 2);
    secondRows.create(ringRows, width * 5, CV_32F);
    secondTags.assign(static_cast<size_t>(ringRows), -1);
    matrices.create(std::min(height, bandRows + 2 * m + 2), width * 5, CV_32F);
    sums.assign(static_cast<size_t>(solve.sumsLength()), 0.0);
    bandSums.create(std::min(height, bandRows), solve.sumsLength(), CV_64F);
    lowest.assign(static_cast<size_t>(team.size()), 0);
    highest.assign(static_cast<size_t>(team.size()), 0);
}

void LevelFlow::run() {
    std::vector<MemberRows> members(static_cast<size_t>(team.size()));
    for (MemberRows& own : members) {
        own.firstRow.resize(static_cast<size_t>(width) * 5);
        own.farTop.resize(static_cast<size_t>(width) * 5);
        own.farBottom.resize(static_cast<size_t>(width) * 5);
        own.missed.resize(static_cast<size_t>(width));
    }
    team.run([&](int index) { member(index, members[static_cast<size_t>(index)]); });
}

void LevelFlow::expandFirst(int y, MemberRows& own, float* out) const {
    if (firstImage.empty())
        expansion.expandRow([&](int r) { return own.strip.ptr<float>(r - own.stripBegin); }, y, height, width, out,
                            own.expansionScratch);
    else
        expansion.expandRow([&](int r) { return firstImage.ptr<float>(r); }, y, height, width, out,
                            own.expansionScratch);
}

// Rows `row` and `row` + 1 of the second expansion for pixel x: from the ring when both
// are inside [lowest, highest], otherwise computed at columns x and x + 1 only.
RowPair LevelFlow::sampled(int row, int x, int lowest, int highest, MemberRows& own) const {
    if (row >= lowest && row + 1 <= highest)
        return {secondRows.ptr<float>(row % secondRows.rows), secondRows.ptr<float>((row + 1) % secondRows.rows)};
    const auto secondRow = [&](int r) { return secondImage.ptr<float>(r); };
    expansion.expandPixelPair(secondRow, row, x, height, width, own.farTop.data());
    expansion.expandPixelPair(secondRow, row + 1, x, height, width, own.farBottom.data());
    return {own.farTop.data(), own.farBottom.data()};
}

// The ring rows in [lowest, highest] that it does not hold yet, shared out among the
// members: the list is made by every member alike, and only after all have made it does
// any member change the ring, so that the new rows, which gather at the window's end,
// are spread evenly.
void LevelFlow::fillSampledRows(int lowest, int highest, int index, MemberRows& own) {
    own.missing.clear();
    for (int row = lowest; row <= highest; row++)
        if (secondTags[static_cast<size_t>(row % secondRows.rows)] != row) own.missing.push_back(row);
    team.sync();
    const Share share = shareOf(static_cast<int>(own.missing.size()), team.size(), index);
    for (int i = share.begin; i < share.end; i++) {
        const int row = own.missing[static_cast<size_t>(i)], slot = row % secondRows.rows;
        expansion.expandRow([&](int r) { return secondImage.ptr<float>(r); }, row, height, width,
                            secondRows.ptr<float>(slot), own.expansionScratch);
        secondTags[static_cast<size_t>(slot)] = row;
    }
}

// The ring's rows [lowest, highest], which it holds all of; an empty range when lowest >
// highest.
ExpansionRing LevelFlow::ring(int lowest, int highest, MemberRows& own) const {
    own.ringOffsets.clear();
    for (int row = lowest; row <= highest; row++)
        own.ringOffsets.push_back(static_cast<int32_t>((row % secondRows.rows) * secondRows.step1()));
    // The kernels read the first offset even for an empty range.
    if (own.ringOffsets.empty()) own.ringOffsets.push_back(0);
    return ExpansionRing{secondRows.ptr<float>(0), own.ringOffsets.data(), lowest, highest};
}

// The system row y from the first expansion's row in own.firstRow: the pixels away from
// the damped border, whose flow samples the ring, together across pixels; the others
// one by one.
template <typename Pair>
void LevelFlow::matrixRowOf(int y, const ExpansionRing& ring, Pair& pair, MemberRows& own) {
    const FlowRow row{own.firstRow.data(), flow.ptr<float>(y), matrixRow(y), y, width, height};
    const bool damped = y < flowBorder || y >= height - flowBorder || width <= 2 * flowBorder;
    if (damped) {
        flowMatrixRow(row, pair, 0, width);
        return;
    }
    flowMatrixRow(row, pair, 0, flowBorder);
    const int missed = flowMatrixSpan(row, ring, flowBorder, width - flowBorder, own.missed.data());
    for (int i = 0; i < missed; i++) flowMatrixPixel(row, pair, own.missed[static_cast<size_t>(i)]);
    flowMatrixRow(row, pair, width - flowBorder, width);
}

SampledRows LevelFlow::sampledSpan(int first, int last) const {
    SampledRows span{height, -1};
    for (int y = first; y < last; y++) {
        const SampledRows s = sampledRows(flow.ptr<float>(y), y, width, height);
        span.lowest = std::min(span.lowest, s.lowest);
        span.highest = std::max(span.highest, s.highest);
    }
    return span;
}

void LevelFlow::member(int index, MemberRows& own) {
    const int m = solve.halfWindow(), members = team.size();
    const int elements = width * 5;
    int matricesDone = 0;
    for (int b0 = 0; b0 < height; b0 += bandRows) {
        const int b1 = std::min(b0 + bandRows, height);
        // The window of rows [b0, b1) reaches the system rows up to b1 + m.
        const int from = matricesDone, to = std::min(b1 + m, height);
        const Share rows = shareOf(to - from, members, index);

        const SampledRows span = sampledSpan(from + rows.begin, from + rows.end);
        lowest[static_cast<size_t>(index)] = span.lowest;
        highest[static_cast<size_t>(index)] = span.highest;
        team.sync();
        const int ringLowest = std::max(*std::min_element(lowest.begin(), lowest.end()), from - sampledMargin);
        const int ringHighest = std::min(*std::max_element(highest.begin(), highest.end()), to - 1 + sampledMargin);
        fillSampledRows(ringLowest, ringHighest, index, own);
        team.sync();
        const ExpansionRing sampledRing = ring(ringLowest, ringHighest, own);

        if (firstImage.empty() && rows.begin < rows.end) {
            const int r = PolynomialExpansion::radius;
            own.stripBegin = std::max(0, from + rows.begin - r);
            blurLevelStrip(firstInput, level, own.stripBegin, std::min(height, from + rows.end + r), own.strip,
                           own.stripScratch);
        }
        for (int y = from + rows.begin; y < from + rows.end; y++) {
            expandFirst(y, own, own.firstRow.data());
            // Most pixels of a row sample the same rows: the ring's are looked up once.
            int lastRow = -1;
            RowPair last{};
            const auto pair = [&](int r, int x) {
                if (r == lastRow) return last;
                const RowPair found = sampled(r, x, ringLowest, ringHighest, own);
                if (found.top != own.farTop.data()) {
                    lastRow = r;
                    last = found;
                }
                return found;
            };
            matrixRowOf(y, sampledRing, pair, own);
        }
        matricesDone = to;
        team.sync();

        const Share columns = shareOf(elements, members, index);
        if (b0 == 0)
            solve.startSums(sums.data(), columns.begin, columns.end,
                            [&](int r) { return matrixRow(std::min(r, height - 1)); });
        for (int y = b0; y < b1; y++) {
            solve.advanceSums(sums.data(), bandSums.ptr<double>(y - b0), columns.begin, columns.end,
                              matrixRow(std::min(y + m, height - 1)), matrixRow(std::max(y - m - 1, 0)));
        }
        team.sync();

        const Share band = shareOf(b1 - b0, members, index);
        for (int y = b0 + band.begin; y < b0 + band.end; y++)
            solve.solveRow(bandSums.ptr<double>(y - b0), flow.ptr<float>(y));
    }
}

} // namespace tl
