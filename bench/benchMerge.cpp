// A merge of 8 generated 24-megapixel frames without ghosts, next to the I/O floor: the
// same process only reading the 8 inputs and writing an output of the same kind. And the
// peak memory of a merge of 4 frames against one of 16 frames, which must not grow with
// the number of exposures.
#include "bench/ProcessMemory.hpp"
#include "diag/Log.hpp"
#include "input/ImageLoader.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/SaveMergedImage.hpp"
#include "tools/BurstFiles.hpp"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

using namespace tl;

namespace {

const cv::Size megapixels24(6000, 4000);
constexpr int burstLength = 16;

// The generated burst, written once per process into a folder removed at the end.
struct Burst {
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("benchMerge-" + std::to_string(getpid()));
    std::vector<std::string> frames = [this] {
        std::filesystem::create_directories(folder);
        setLogFolder(folder.string() + "/");
        return writeBurst(folder.string(), megapixels24, burstLength, false);
    }();
    ~Burst() { std::filesystem::remove_all(folder); }

    std::string file(const std::string& name) const { return (folder / name).string(); }
    // The middle frame of the first count frames is the instant image.
    std::vector<std::string> first(int count) const { return {frames.begin(), frames.begin() + count}; }
};

const Burst& burst() {
    static const Burst made;
    return made;
}

double secondsOf(auto&& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// What the merge program does between its command line and its exit: the run, then the
// Radiance file with the instant image's tags. Returns whether a light image was made.
bool merge(const std::vector<std::string>& frames, const std::string& output) {
    const int count = static_cast<int>(frames.size());
    ImagesSequence sequence(frames.data(), count);
    MergeEngine engine;
    MergeSettings settings;
    settings.ghostingPower = 2;
    settings.ghostThreshold = 1000;
    settings.tileSize = 9;
    settings.threads = 2;
    settings.progressPath = burst().file("progress.txt");
    cv::Mat light;
    try {
        light = engine.run(sequence, count / 2, count, settings);
    } catch (const StepFailure&) {
        return false;
    }
    if (light.empty()) return false;
    saveMergedImage(light, output, 32, frames[count / 2]);
    return true;
}

// The part of a merge no merge can avoid: reading every input, writing one output.
void readAndWrite(const std::vector<std::string>& frames, const cv::Mat& output, const std::string& path) {
    for (const std::string& frame : frames) benchmark::DoNotOptimize(loadImage(frame).image.data);
    saveMergedImage(output, path, 32, frames[frames.size() / 2]);
}

// Peak resident memory that a merge adds to the process, in MiB.
double mergePeakMiB(const std::vector<std::string>& frames, bool& merged) {
    return peakAddedMiB([&] { merged = merge(frames, burst().file("merged.hdr")); });
}

void mergeAgainstIoFloor8Frames(benchmark::State& state) {
    const std::vector<std::string> frames = burst().first(8);
    if (burst().frames.empty()) return state.SkipWithError("the burst could not be written");
    cv::Mat light;
    loadImage(frames[0]).image.convertTo(light, CV_32F, 1 / 255.0);
    double floor = 0, mergeTime = 0, peak = 0;
    for (auto _ : state) {
        floor = secondsOf([&] { readAndWrite(frames, light, burst().file("floor.hdr")); });
        bool merged = false;
        mergeTime = secondsOf([&] { peak = mergePeakMiB(frames, merged); });
        if (!merged) return state.SkipWithError("the merge made no light image");
        state.SetIterationTime(mergeTime);
    }
    state.counters["io_floor_s"] = floor;
    state.counters["merge_s"] = mergeTime;
    state.counters["merge_over_floor"] = mergeTime / floor;
    state.counters["merge_peak_added_MiB"] = peak;
}

void peakMemory4Against16Frames(benchmark::State& state) {
    if (burst().frames.empty()) return state.SkipWithError("the burst could not be written");
    double peak4 = 0, peak16 = 0;
    for (auto _ : state) {
        bool merged4 = false, merged16 = false;
        peak4 = mergePeakMiB(burst().first(4), merged4);
        peak16 = mergePeakMiB(burst().first(16), merged16);
        if (!merged4 || !merged16) return state.SkipWithError("the merge made no light image");
    }
    state.counters["peak_added_4_frames_MiB"] = peak4;
    state.counters["peak_added_16_frames_MiB"] = peak16;
    state.counters["16_over_4"] = peak16 / peak4;
}

}  // namespace

BENCHMARK(mergeAgainstIoFloor8Frames)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1)->Repetitions(3);
BENCHMARK(peakMemory4Against16Frames)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(3);

BENCHMARK_MAIN();
