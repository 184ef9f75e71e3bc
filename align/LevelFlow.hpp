#pragma once

#include "align/BoxFlowSolve.hpp"
#include "align/FlowMatrices.hpp"
#include "align/FlowPyramid.hpp"
#include "align/FlowRowKernels.hpp"
#include "align/PolynomialExpansion.hpp"
#include "align/ThreadTeam.hpp"

#include <opencv2/core.hpp>

#include <vector>

namespace tl {

// One pyramid level of the dense flow: one update of `flow` (the level's starting flow,
// overwritten with the result) from the two images' polynomial expansions, with a 5 x 5
// box window. It streams down the level in bands of rows and keeps only a few rows of
// each intermediate: the first image's expansion row by row, the second's for the rows
// that the flow samples, the per-pixel systems for the rows the window spans, and the
// running column sums.
//
// firstImage is the first input's level image, or empty at level 0, where its rows are
// blurred from firstInput strip by strip; secondImage is the second input's level image.
class LevelFlow {
public:
    LevelFlow(const FlowLevel& level, const cv::Mat& firstImage, const cv::Mat& firstInput,
              const cv::Mat& secondImage, cv::Mat& flow, ThreadTeam& team);

    void run();

private:
    struct MemberRows;  // a member's own buffers

    void member(int index, MemberRows& own);
    // The rows of the second expansion that the flow of rows [first, last) samples.
    SampledRows sampledSpan(int first, int last) const;
    void expandFirst(int y, MemberRows& own, float* out) const;
    RowPair sampled(int row, int x, int lowest, int highest, MemberRows& own) const;
    void fillSampledRows(int lowest, int highest, int index, MemberRows& own);
    ExpansionRing ring(int lowest, int highest, MemberRows& own) const;
    template <typename Pair> void matrixRowOf(int y, const ExpansionRing& ring, Pair& pair, MemberRows& own);
    float* matrixRow(int row) { return matrices.ptr<float>(row % matrices.rows); }

    FlowLevel level;
    const cv::Mat firstImage, firstInput, secondImage;
    cv::Mat& flow;
    ThreadTeam& team;
    int width, height;
    PolynomialExpansion expansion;
    BoxFlowSolve solve;

    cv::Mat secondRows;            // ring of the second image's expansion rows
    std::vector<int> secondTags;   // which row each ring slot holds, -1 for none
    cv::Mat matrices;              // ring of per-pixel system rows
    std::vector<double> sums;      // the running column sums
    cv::Mat bandSums;              // the column sums at each row of the current band
    std::vector<int> lowest, highest;  // per member: rows of the second expansion sampled
};

} // namespace tl
