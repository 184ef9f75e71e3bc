#include "align/MatchPatch.hpp"
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

} // namespace
