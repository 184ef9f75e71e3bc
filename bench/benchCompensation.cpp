// Ghost compensation of one 24-megapixel exposure with about 3 % of its area moving, at
// ghosting power 2 % (a search radius of 120 pixels) and tile size 9, on one and two
// band workers. Baseline: one worker. The counters give the matchPatch calls and the
// processor time of all threads, which on a busy machine tells work from waiting.
#include "merge/MergeEngine.hpp"

#include <benchmark/benchmark.h>
#include <opencv2/imgproc.hpp>

#include <sys/resource.h>

#include <optional>
#include <string>

using namespace tl;

namespace {

const cv::Size megapixels24(6000, 4000);
constexpr int searchRadius = 6000 * 2 / 100;

// Texture at two scales, made cheaply: coarse noise enlarged plus fine noise.
cv::Mat texturedScene() {
    cv::Mat coarse(400, 600, CV_8UC3), scene, fine(megapixels24, CV_8UC3);
    cv::RNG rng(5);
    rng.fill(coarse, cv::RNG::UNIFORM, 30, 220);
    cv::resize(coarse, scene, megapixels24, 0, 0, cv::INTER_CUBIC);
    rng.fill(fine, cv::RNG::NORMAL, 0, 12);
    return scene + fine;
}

struct CompensationInputs {
    cv::Mat instant = texturedScene();
    cv::Mat exposure = instant.clone();
    CompensationInputs() {
        // 16 blocks of 200 x 200 (2.7 % of the area) moved by 32 columns and 24 rows.
        for (int i = 0; i < 16; ++i) {
            const cv::Rect block(300 + (i % 4) * 1400, 400 + (i / 4) * 900, 200, 200);
            instant(block).copyTo(exposure(block + cv::Point(32, 24)));
        }
    }
};

const CompensationInputs& inputs() {
    static const CompensationInputs made;
    return made;
}

// Processor time of the whole process (every thread), in seconds: on a shared machine it
// tells the work done apart from the waiting.
double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Share of the pixels where the exposure differs from the instant image.
double movingAreaPercent(const CompensationInputs& in) {
    cv::Mat differs;
    cv::absdiff(in.instant, in.exposure, differs);
    cv::cvtColor(differs, differs, cv::COLOR_BGR2GRAY);
    return 100.0 * cv::countNonZero(differs) / static_cast<double>(differs.total());
}

// state.range(0): band workers.
void compensate24Mp(benchmark::State& state) {
    const CompensationInputs& in = inputs();
    const int workers = static_cast<int>(state.range(0));
    const std::string progressPath = "/dev/null";
    long long matches = 0;
    double cpuSeconds = 0;
    for (auto _ : state) {
        MergeEngine engine;
        const double cpuBefore = processCpuSeconds();
        const std::optional<CompensatedExposure> done =
            engine.compensateImage({8, 8, searchRadius, 10, 9, workers, 1, progressPath}, in.instant, in.exposure);
        cpuSeconds = processCpuSeconds() - cpuBefore;
        if (!done) {
            state.SkipWithError("the compensation failed");
            break;
        }
        matches = done->patchesMatched;
        benchmark::DoNotOptimize(done->image.data);
    }
    state.counters["matchPatch_calls"] = static_cast<double>(matches);
    state.counters["cpu_seconds_all_threads"] = cpuSeconds;
    state.counters["moving_area_percent"] = movingAreaPercent(in);
}

}  // namespace

BENCHMARK(compensate24Mp)
    ->ArgName("workers")
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(3);

BENCHMARK_MAIN();
