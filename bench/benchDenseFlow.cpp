// The motion-range estimate's flow step at 24 megapixels: the smoothed dense flow at 300
// corner pixels, and the whole flow, with 1 and 2 threads, and the memory each adds at
// its peak. Baseline: OpenCV's own dense flow with the same parameters (and its blur of
// the whole flow), single-threaded. The flow here gets n threads in all: its own n, and
// OpenCV's pool set to n for the whole-image resizes it leaves to OpenCV (only one of
// the two works at a time). Run each benchmark in a process of its own
// (--benchmark_filter) for a clean peak. The CPU column is the whole process's.
#include "align/DenseFlow.hpp"
#include "bench/ProcessMemory.hpp"

#include <benchmark/benchmark.h>
#include <opencv2/core/utility.hpp>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <string>

using namespace tl;

namespace {

const cv::Size megapixels24(6000, 4000);

// A grey 24-megapixel scene made from a photograph of the test data by enlarging it.
cv::Mat greyScene(const std::string& name) {
    const cv::Mat photograph = cv::imread(std::string(TL_SOURCE_DIR) + "/../shared/testdata/bracket-desk/" + name,
                                          cv::IMREAD_GRAYSCALE | cv::IMREAD_IGNORE_ORIENTATION);
    if (photograph.empty()) return {};
    cv::Mat scene;
    cv::resize(photograph, scene, megapixels24, 0, 0, cv::INTER_CUBIC);
    return scene;
}

struct FlowInputs {
    cv::Mat first = greyScene("img05.jpg"), second = greyScene("img07.jpg");
    std::vector<FlowPixel> corners = [] {
        std::vector<FlowPixel> pixels;
        for (int i = 0; i < 15; i++)
            for (int j = 0; j < 20; j++) pixels.push_back({131 + 251 * i + 7 * j, 97 + 293 * j + 5 * i});
        return pixels;
    }();
};

const FlowInputs& inputs() {
    static const FlowInputs made;
    return made;
}

template <typename Step>
void measure(benchmark::State& state, int threads, Step step) {
    cv::setNumThreads(threads);
    const FlowInputs& in = inputs();
    if (in.first.empty() || in.second.empty()) {
        state.SkipWithError("test data is absent");
        return;
    }
    double peak = 0;
    for (auto _ : state) peak = peakAddedMiB([&] { step(in); });
    state.counters["peak_added_MiB"] = peak;
}

void smoothedFlowAtCorners24Mp(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    measure(state, threads, [threads](const FlowInputs& in) {
        const std::vector<cv::Vec2f> flow = smoothedFlowAt(in.first, in.second, in.corners, 33, 2.0, threads);
        benchmark::DoNotOptimize(flow.data());
    });
}

void denseFlow24Mp(benchmark::State& state) {
    const int threads = static_cast<int>(state.range(0));
    measure(state, threads, [threads](const FlowInputs& in) {
        const cv::Mat flow = denseFlow(in.first, in.second, threads);
        benchmark::DoNotOptimize(flow.data);
    });
}

void openCvFlow24Mp(benchmark::State& state) {
    measure(state, 1, [](const FlowInputs& in) {
        cv::Mat flow;
        cv::calcOpticalFlowFarneback(in.first, in.second, flow, 0.75, 4, 5, 1, 5, 1.1, 0);
        benchmark::DoNotOptimize(flow.data);
    });
}

void openCvSmoothedFlow24Mp(benchmark::State& state) {
    measure(state, 1, [](const FlowInputs& in) {
        cv::Mat flow, smoothed;
        cv::calcOpticalFlowFarneback(in.first, in.second, flow, 0.75, 4, 5, 1, 5, 1.1, 0);
        cv::GaussianBlur(flow, smoothed, cv::Size(33, 33), 2.0, 0, cv::BORDER_DEFAULT);
        benchmark::DoNotOptimize(smoothed.data);
    });
}

} // namespace

BENCHMARK(openCvFlow24Mp)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(openCvSmoothedFlow24Mp)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(smoothedFlowAtCorners24Mp)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(denseFlow24Mp)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->Iterations(1)->Repetitions(3)->MeasureProcessCPUTime()->UseRealTime();

BENCHMARK_MAIN();
