// The exact patch matcher against OpenCV's matchTemplate (TM_SQDIFF) + minMaxLoc on the
// same windows, one OpenCV thread as in the compensation's band workers, at t = 8 with
// r = 120 and t = 16 with r = 300. Content: tiles over the rolling ball of two frames of
// the generated burst (the moving area that the ghost compensation matches), the same
// frames as the burst's JPEG files, and tiles spread over two exposures of the shared
// desk photographs. The counter per_match is the processor time of one match; the ratio
// between the matchers is taken from the same run. matchRows matches rows of adjacent
// tiles as the compensation's band workers do: the row matcher against matchTemplate on
// every tile of the same rows.
#include "align/MatchPatch.hpp"
#include "align/RowMatcher.hpp"
#include "tools/BurstFiles.hpp"
#include "tools/BurstScene.hpp"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

using namespace tl;

namespace {

struct Pair {
    cv::Mat A, B;
    std::vector<cv::Point> centres;  // (column, row)
};

// Tile centres on a grid over the ball in both frames: where the compensation matches.
std::vector<cv::Point> overTheBall(const BurstScene& scene, int first, int second) {
    const int radius = scene.ballRadius(), step = radius / 2;
    std::vector<cv::Point> centres;
    for (int frame : {first, second}) {
        const cv::Point c = scene.ballCentre(frame);
        for (int y = c.y - radius; y <= c.y + radius; y += step)
            for (int x = c.x - radius; x <= c.x + radius; x += step)
                if ((x - c.x) * (x - c.x) + (y - c.y) * (y - c.y) <= radius * radius) centres.emplace_back(x, y);
    }
    return centres;
}

const cv::Size burstSize(1800, 1200);
constexpr int burstFrames = 5;

const Pair& burstPair() {
    static const Pair pair = [] {
        const BurstScene scene(burstSize, burstFrames);
        return Pair{scene.frame(1), scene.frame(3), overTheBall(scene, 1, 3)};
    }();
    return pair;
}

// The same frames written as the burst's JPEG files and read back, as the merge reads them.
const Pair& burstFilePair() {
    static const Pair pair = [] {
        const std::filesystem::path folder = std::filesystem::temp_directory_path() / "benchMatchPatch-burst";
        std::filesystem::create_directories(folder);
        const std::vector<std::string> files = writeBurst(folder.string(), burstSize, burstFrames, false);
        Pair p;
        if (files.size() == burstFrames) p = Pair{cv::imread(files[1]), cv::imread(files[3]), burstPair().centres};
        std::filesystem::remove_all(folder);
        return p;
    }();
    return pair;
}

// 6 x 4 tile centres spread over the desk photographs (1 s against 0.3 s exposure).
const Pair& deskPair() {
    static const Pair pair = [] {
        const std::string folder = std::string(TL_SOURCE_DIR) + "/../shared/testdata/bracket-desk/";
        Pair p{cv::imread(folder + "img05.jpg"), cv::imread(folder + "img07.jpg"), {}};
        for (int i = 0; i < 6; ++i)
            for (int j = 0; j < 4; ++j) p.centres.emplace_back(90 + i * 170, 80 + j * 200);
        return p;
    }();
    return pair;
}

// The score of a match, its displacement kept in dy and dx for the next hint.
double record(const PatchMatch& match, int& dy, int& dx) {
    dy = match.dy;
    dx = match.dx;
    return match.score;
}

// The matcher this one replaces: single-precision scores through a DFT.
double matchByTemplate(int y, int x, int t, int r, int& dy, int& dx, const cv::Mat& A, const cv::Mat& B) {
    dy = dx = 0;
    const int side = 2 * t + 1;
    const auto start = [&](int c, int n) {
        const int s = std::max(0, c - t);
        return s + side >= n ? n - side - 1 : s;
    };
    const int xp = start(x, A.cols), yp = start(y, A.rows);
    const int x0 = std::max(0, x - r), x1 = std::min(B.cols - 1, x + r);
    const int y0 = std::max(0, y - r), y1 = std::min(B.rows - 1, y + r);
    const cv::Rect window(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0), std::abs(y1 - y0));
    if (xp < 0 || yp < 0 || window.width < side || window.height < side)
        return std::numeric_limits<double>::infinity();
    cv::Mat scores;
    cv::matchTemplate(B(window), A(cv::Rect(xp, yp, side, side)), scores, cv::TM_SQDIFF);
    double best = 0;
    cv::Point at;
    cv::minMaxLoc(scores, &best, nullptr, &at, nullptr);
    dx = at.x + window.x - xp;
    dy = at.y + window.y - yp;
    return best;
}

// The pair state.range(3) names (0 burst, 1 desk, 2 burst files), or nothing when its
// images cannot be read. OpenCV gets one thread, as in the compensation's band workers.
const Pair* pairToMatch(benchmark::State& state) {
    const Pair& pair = state.range(3) == 0 ? burstPair() : state.range(3) == 1 ? deskPair() : burstFilePair();
    if (pair.A.empty() || pair.B.empty()) {
        state.SkipWithError("the images could not be read");
        return nullptr;
    }
    cv::setNumThreads(1);
    return &pair;
}

// The matches an iteration makes, and the processor time of one.
void countMatches(benchmark::State& state, double matches) {
    state.counters["matches"] = matches;
    state.counters["per_match"] = benchmark::Counter(matches, benchmark::Counter::kIsIterationInvariantRate |
                                                                  benchmark::Counter::kInvert);
}

enum Matcher { exact, exactWithHint, byTemplate };

// state.range: 0 the matcher, 1 t, 2 r, 3 the pair (0 burst, 1 desk, 2 burst files).
void match(benchmark::State& state) {
    const auto matcher = static_cast<Matcher>(state.range(0));
    const int t = static_cast<int>(state.range(1)), r = static_cast<int>(state.range(2));
    const Pair* pair = pairToMatch(state);
    if (pair == nullptr) return;
    double scores = 0;
    for (auto _ : state) {
        // The hint is the displacement of the previous tile, as a neighbour's would be.
        cv::Point hint(0, 0);
        for (const cv::Point& c : pair->centres) {
            int dy = 0, dx = 0;
            switch (matcher) {
            case exact: scores += record(matchPatch({c.y, c.x, t, r}, pair->A, pair->B), dy, dx); break;
            case exactWithHint: scores += record(matchPatch({c.y, c.x, t, r}, pair->A, pair->B, hint), dy, dx); break;
            case byTemplate: scores += matchByTemplate(c.y, c.x, t, r, dy, dx, pair->A, pair->B); break;
            }
            hint = cv::Point(dx, dy);
        }
    }
    benchmark::DoNotOptimize(scores);
    countMatches(state, static_cast<double>(pair->centres.size()));
}

void sizesAndPairs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"matcher", "t", "r", "pair"});
    for (int pair : {0, 2, 1})
        for (auto [t, r] : {std::pair{8, 120}, std::pair{16, 300}})
            for (int matcher : {exact, exactWithHint, byTemplate}) b->Args({matcher, t, r, pair});
}

// Rows of adjacent 9-pixel tiles: three rows through the ball in each of the two burst
// frames, or three rows at the middle of the desk photographs.
std::vector<std::pair<int, std::vector<int>>> tileRows(int pairIndex) {
    constexpr int tile = 9;
    std::vector<std::pair<int, std::vector<int>>> rows;
    const auto addRows = [&](cv::Point centre, int halfWidth) {
        for (int y = centre.y - tile; y <= centre.y + tile; y += tile) {
            std::vector<int> columns;
            for (int x = centre.x - halfWidth; x <= centre.x + halfWidth; x += tile) columns.push_back(x);
            rows.emplace_back(y, columns);
        }
    };
    if (pairIndex == 1) {
        addRows(cv::Point(deskPair().A.cols / 2, deskPair().A.rows / 2), 8 * tile);
    } else {
        const BurstScene scene(burstSize, burstFrames);
        for (int frame : {1, 3}) addRows(scene.ballCentre(frame), scene.ballRadius());
    }
    return rows;
}

enum RowsMatcher { rowMatcher, rowsByTemplate };

// state.range: 0 the matcher, 1 t, 2 r, 3 the pair as for match.
void matchRows(benchmark::State& state) {
    const auto matcher = static_cast<RowsMatcher>(state.range(0));
    const int t = static_cast<int>(state.range(1)), r = static_cast<int>(state.range(2));
    const Pair* pair = pairToMatch(state);
    if (pair == nullptr) return;
    const auto rows = tileRows(static_cast<int>(state.range(3)));
    double scores = 0, matches = 0;
    for (const auto& row : rows) matches += static_cast<double>(row.second.size());
    for (auto _ : state) {
        RowMatcher row(pair->A, pair->B, t, r);
        for (const auto& [y, columns] : rows) {
            if (matcher == rowMatcher) {
                for (const PatchMatch& m : row.matchRow(y, columns)) scores += m.score;
                continue;
            }
            for (const int x : columns) {
                int dy = 0, dx = 0;
                scores += matchByTemplate(y, x, t, r, dy, dx, pair->A, pair->B);
            }
        }
    }
    benchmark::DoNotOptimize(scores);
    countMatches(state, matches);
}

void rowSizesAndPairs(benchmark::internal::Benchmark* b) {
    b->ArgNames({"matcher", "t", "r", "pair"});
    for (int pair : {0, 2, 1})
        for (auto [t, r] : {std::pair{8, 120}, std::pair{16, 300}})
            for (int matcher : {rowMatcher, rowsByTemplate}) b->Args({matcher, t, r, pair});
}

} // namespace

BENCHMARK(match)->Apply(sizesAndPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(matchRows)->Apply(rowSizesAndPairs)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
