// The merge program with ghost removal at camera resolution: a burst of five 24-megapixel
// frames (made here, instant image frame03), ghost threshold 10 %, 2 threads, Radiance
// output, run as the real program three ways - ghosting power 0 (search radius 17), 2 %
// (radius 120) and automatic - and, when it is installed, another widely used HDR tool's
// merge of the same frames with its MTB alignment and anti-ghosting, for comparison. Each
// run is a separate process: wall time, processor time and peak memory are the process's
// own. The summary gives medians and the ratios the targets are stated in.
#include "bench/MeasuredRun.hpp"
#include "tools/BurstFiles.hpp"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace tl {

namespace {

namespace fs = std::filesystem;

const cv::Size megapixels24(6000, 4000);
const char* const peer = "/usr/bin/luminance-hdr-cli";

struct Burst {
    fs::path folder = fs::temp_directory_path() / ("benchGhostMerge-" + std::to_string(getpid()));
    std::vector<std::string> frames = [this] {
        fs::create_directories(folder / "app");
        return writeBurst(folder.string(), megapixels24, 5, true);
    }();
    ~Burst() { fs::remove_all(folder); }
    std::string file(const std::string& name) const { return (folder / name).string(); }
};

const Burst& burst() {
    static const Burst made;
    return made;
}

std::map<std::string, std::vector<Figures>> measured;

// The merge program measured: this build's, or another one named with --tessaline=PATH
// (an earlier build, to compare).
std::string tessaline = TL_TESSALINE_BIN;

void record(benchmark::State& state, const std::string& name, const Figures& f) {
    if (!f.ok) state.SkipWithError("the program failed");
    state.SetIterationTime(f.wall);
    state.counters["cpu_s"] = f.cpu;
    state.counters["peak_MiB"] = f.peakMiB;
    measured[name].push_back(f);
}

void mergeAt(benchmark::State& state, const std::string& name, const std::string& ghostingPower) {
    const Burst& b = burst();
    std::vector<std::string> arguments{"10", ghostingPower, "2", "0", "0", "0", "9", b.file("progress.txt"),
                                       b.file("app"), b.file("merged.hdr"), "32", b.frames[2], "5"};
    arguments.insert(arguments.end(), b.frames.begin(), b.frames.end());
    for (auto _ : state) record(state, name, runMeasured(tessaline, arguments));
}

void peerMerge(benchmark::State& state) {
    if (!fs::exists(peer)) {
        state.SkipWithError("luminance-hdr-cli is not installed");
        for (auto _ : state) {
        }
        return;
    }
    const Burst& b = burst();
    std::vector<std::string> arguments{"-e", "0,0,0,0,0", "-a", "MTB", "-t", "0.2", "-s", b.file("peer.hdr")};
    arguments.insert(arguments.end(), b.frames.begin(), b.frames.end());
    for (auto _ : state) record(state, "peer", runMeasured(peer, arguments));
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double medianOf(const std::string& name, double Figures::*field) {
    std::vector<double> values;
    for (const Figures& f : measured[name]) values.push_back(f.*field);
    return median(values);
}

void printSummary() {
    std::printf("\n%-26s %9s %9s %10s\n", "run (medians)", "wall s", "cpu s", "peak MiB");
    for (const char* name : {"radius 17", "radius 120", "automatic", "peer"})
        if (!measured[name].empty())
            std::printf("%-26s %9.2f %9.2f %10.0f\n", name, medianOf(name, &Figures::wall),
                        medianOf(name, &Figures::cpu), medianOf(name, &Figures::peakMiB));
    const double base = medianOf("radius 17", &Figures::wall);
    if (base <= 0) return;
    std::printf("radius 120 / radius 17: %.2f (target at most 3)\n", medianOf("radius 120", &Figures::wall) / base);
    std::printf("automatic / radius 17:  %.2f (target at most 8)\n", medianOf("automatic", &Figures::wall) / base);
    if (!measured["peer"].empty())
        std::printf("automatic / peer:       %.2f (target below 1)\n",
                    medianOf("automatic", &Figures::wall) / medianOf("peer", &Figures::wall));
}

BENCHMARK_CAPTURE(mergeAt, radius17, std::string("radius 17"), std::string("0"))
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(mergeAt, radius120, std::string("radius 120"), std::string("2"))
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(mergeAt, automatic, std::string("automatic"), std::string("-1"))
    ->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(peerMerge)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

} // namespace

} // namespace tl

using namespace tl;

int main(int argc, char** argv) {
    const std::string option = "--tessaline=";
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind(option, 0) == 0) {
            tessaline = argv[i] + option.size();
            std::copy(argv + i + 1, argv + argc + 1, argv + i);
            --argc;
            break;
        }
    // Three runs of each, for medians, unless asked otherwise.
    std::vector<char*> arguments(argv, argv + argc);
    std::string repetitions = "--benchmark_repetitions=3";
    if (std::none_of(arguments.begin(), arguments.end(),
                     [](const char* a) { return std::string(a).rfind("--benchmark_repetitions", 0) == 0; }))
        arguments.push_back(repetitions.data());
    arguments.push_back(nullptr);
    argc = static_cast<int>(arguments.size()) - 1;
    argv = arguments.data();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    printSummary();
    benchmark::Shutdown();
    return 0;
}
