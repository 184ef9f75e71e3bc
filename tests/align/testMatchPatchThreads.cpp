#include "align/MatchPatch.hpp"
#include "align/RowMatcher.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tl;

namespace {

struct Match {
    int dy = 99, dx = 99;
    double score = -1;
    bool operator==(const Match&) const = default;
};

// Matches at tile centres every 12 pixels.
std::vector<Match> matchTiles(const cv::Mat& A, const cv::Mat& B, int t, int r) {
    std::vector<Match> matches;
    for (int y = 6; y < A.rows; y += 12)
        for (int x = 6; x < A.cols; x += 12) {
            const PatchMatch found = matchPatch({y, x, t, r}, A, B);
            matches.push_back({found.dy, found.dx, found.score});
        }
    return matches;
}

// Four threads match A against B at two sizes in turn, which makes every thread's buffers
// grow and shrink while the others search; each must get what one thread alone gets.
template <typename MatchAll> void expectSequentialResultsOnFourThreads(const cv::Mat& A, const cv::Mat& B,
                                                                        MatchAll matchAll) {
    const std::vector<Match> small = matchAll(A, B, 4, 12), large = matchAll(A, B, 8, 30);
    std::vector<std::vector<Match>> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = i % 2 ? matchAll(A, B, 4, 12) : matchAll(A, B, 8, 30); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < results.size(); ++i) EXPECT_TRUE(results[i] == (i % 2 ? small : large)) << "thread " << i;
}

TEST(MatchPatchThreads, ConcurrentCallsOnTheSameImagesGiveTheSequentialResults) {
    const BurstScene burst(cv::Size(240, 160), 5);
    expectSequentialResultsOnFourThreads(burst.frame(0), burst.frame(1), matchTiles);
}

// Rows of tiles every 9 pixels matched by one RowMatcher, the windows in groups.
std::vector<Match> matchRowsInGroups(const cv::Mat& A, const cv::Mat& B, int t, int r) {
    std::vector<int> columns;
    for (int x = 4; x < A.cols; x += 9) columns.push_back(x);
    RowMatcher matcher(A, B, t, r, size_t{24} << 20, 0);
    std::vector<Match> matches;
    for (int y = 4; y < A.rows; y += 9)
        for (const PatchMatch& m : matcher.matchRow(y, columns)) matches.push_back(Match{m.dy, m.dx, m.score});
    return matches;
}

// Each thread keeps its own group buffers while the others search.
TEST(MatchPatchThreads, ConcurrentRowMatchersInGroupsGiveTheSequentialResults) {
    const BurstScene burst(cv::Size(240, 160), 5);
    expectSequentialResultsOnFourThreads(burst.frame(1), burst.frame(2), matchRowsInGroups);
}

} // namespace
