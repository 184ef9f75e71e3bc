#include "align/MatchPatch.hpp"

namespace tl {

PatchMatch matchPatch(const PatchQuery& query, const cv::Mat& A, const cv::Mat& B, cv::Point hint) {
    const PatchWindow where = patchWindow(query.row, query.column, query.halfSize, query.searchRadius, A.size(), B.size());
    return searchPatch(where, A, B, std::span(&hint, 1));
}

} // namespace tl
