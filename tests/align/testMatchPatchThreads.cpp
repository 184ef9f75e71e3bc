#include "align/MatchPatch.hpp"
#include "align/RowMatcher.hpp"
#include "tools/BurstScene.hpp"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

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
            Match m;
            m.score = matchPatch(y, x, t, r, m.dy, m.dx, A, B);
            matches.push_back(m);
        }
    return matches;
}

TEST(MatchPatchThreads, ConcurrentCallsOnTheSameImagesGiveTheSequentialResults) {
    const BurstScene burst(cv::Size(240, 160), 5);
    const cv::Mat A = burst.frame(0), B = burst.frame(1);
    const std::vector<Match> small = matchTiles(A, B, 4, 12), large = matchTiles(A, B, 8, 30);
    // Sizes in turn make every thread's buffers grow and shrink while the others search.
    std::vector<std::vector<Match>> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = i % 2 ? matchTiles(A, B, 4, 12) : matchTiles(A, B, 8, 30); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < results.size(); ++i) EXPECT_TRUE(results[i] == (i % 2 ? small : large)) << "thread " << i;
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

TEST(MatchPatchThreads, ConcurrentRowMatchersInGroupsGiveTheSequentialResults) {
    const BurstScene burst(cv::Size(240, 160), 5);
    const cv::Mat A = burst.frame(1), B = burst.frame(2);
    const std::vector<Match> small = matchRowsInGroups(A, B, 4, 12), large = matchRowsInGroups(A, B, 8, 30);
    // Each thread keeps its own group buffers while the others search.
    std::vector<std::vector<Match>> results(4);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < results.size(); ++i)
        threads.emplace_back([&, i] { results[i] = i % 2 ? matchRowsInGroups(A, B, 4, 12) : matchRowsInGroups(A, B, 8, 30); });
    for (std::thread& thread : threads) thread.join();
    for (size_t i = 0; i < results.size(); ++i) EXPECT_TRUE(results[i] == (i % 2 ? small : large)) << "thread " << i;
}

} // namespace
