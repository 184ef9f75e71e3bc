// Frames per second of the frame extractor cutting every frame out of an H.264 clip
// (1280 x 720, 280 frames; 1920 x 1080, 150 frames) into JPEG and into PNG files with the
// video's tags in each, next to FFmpeg's own command-line tool writing the same frames in
// the same format in the same run (FFmpeg tags nothing). Further figures: the extractor's
// peak resident memory, and its processor time per frame against FFmpeg's.
//
// With TL_BASELINE_KADRIMO naming another build of the extractor (today's main, say),
// that build runs in the same iterations too, so that before and after are measured side
// by side on the same machine load.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// What one program run cost.
struct RunCost {
    bool ok = false;
    double seconds = 0.0;
    double processorSeconds = 0.0;  // its own and that of the programs it waited for
    double peakMiB = 0.0;           // its own resident memory at its peak
};

// Runs program (looked up on PATH when it has no "/") with arguments, its output thrown
// away, and says whether it exited with status 0 and what it cost.
RunCost run(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t child = 0;
    const int started = posix_spawnp(&child, program.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    rusage usage{};
    RunCost cost;
    cost.ok = started == 0 && wait4(child, &status, 0, &usage) == child && WIFEXITED(status) &&
              WEXITSTATUS(status) == 0;
    cost.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    cost.processorSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    cost.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
    return cost;
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / "tl-bench-extract";
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

struct Clip {
    int width;
    int height;
    int frames;
};

// An H.264 clip of FFmpeg's moving test pattern, with a title and a date among its tags,
// made once per run.
std::string clipVideo(const Clip& clip) {
    const std::string size = std::to_string(clip.width) + "x" + std::to_string(clip.height);
    const std::string path = (workFolder() / ("clip" + size + ".mp4")).string();
    if (!fs::exists(path) &&
        !run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i", "testsrc2=size=" + size + ":rate=25",
                        "-frames:v", std::to_string(clip.frames), "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt",
                        "yuv420p", "-metadata", "title=Harbour at dawn", "-metadata",
                        "creation_time=2024-05-01T10:00:00Z", path})
             .ok)
        return "";
    return path;
}

fs::path freshOutputFolder(const std::string& name) {
    const fs::path folder = workFolder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

RunCost kadrimo(const std::string& program, const std::string& video, const std::string& format) {
    const fs::path out = freshOutputFolder("kadrimo");
    return run(program, {"0", "0", "1", "1", video, out.string(), "frame", format, (out / "list.txt").string()});
}

RunCost ffmpeg(const std::string& video, const std::string& format) {
    const fs::path out = freshOutputFolder("ffmpeg");
    return run("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-i", video, "-q:v", "2",
                          (out / ("frame%03d." + format)).string()});
}

// Sums of the runs of one program over the iterations.
struct Totals {
    double seconds = 0.0;
    double processorSeconds = 0.0;
    double peakMiB = 0.0;

    bool add(const RunCost& cost) {
        seconds += cost.seconds;
        processorSeconds += cost.processorSeconds;
        peakMiB = std::max(peakMiB, cost.peakMiB);
        return cost.ok;
    }
};

void extractVersusFfmpeg(benchmark::State& state, Clip clip, std::string format) {
    const std::string video = clipVideo(clip);
    if (video.empty()) {
        state.SkipWithError("ffmpeg could not make the clip");
        return;
    }
    const char* baselineProgram = std::getenv("TL_BASELINE_KADRIMO");
    Totals ours, theirs, baseline;
    for (auto _ : state) {
        bool ok = theirs.add(ffmpeg(video, format));
        const RunCost cost = kadrimo(TL_KADRIMO_BIN, video, format);
        ok = ours.add(cost) && ok;
        if (baselineProgram) ok = baseline.add(kadrimo(baselineProgram, video, format)) && ok;
        if (!ok) {
            state.SkipWithError("a run failed");
            return;
        }
        state.SetIterationTime(cost.seconds);
    }
    const double frames = clip.frames * static_cast<double>(state.iterations());
    state.counters["kadrimo_fps"] = frames / ours.seconds;
    state.counters["ffmpeg_fps"] = frames / theirs.seconds;
    state.counters["ratio"] = theirs.seconds / ours.seconds;  // target: at least 1.0
    state.counters["kadrimo_peak_MiB"] = ours.peakMiB;      // target: at most 300 MB
    // Processor milliseconds per frame: on a busy machine these hold where wall times do not.
    state.counters["kadrimo_cpu_ms_per_frame"] = 1000.0 * ours.processorSeconds / frames;
    state.counters["ffmpeg_cpu_ms_per_frame"] = 1000.0 * theirs.processorSeconds / frames;
    if (baselineProgram) {
        state.counters["baseline_fps"] = frames / baseline.seconds;
        state.counters["baseline_ratio"] = theirs.seconds / baseline.seconds;
        state.counters["baseline_peak_MiB"] = baseline.peakMiB;
    }
}

constexpr Clip clip720{1280, 720, 280};
constexpr Clip clip1080{1920, 1080, 150};

// Each run takes seconds: a few repetitions of one iteration each, medians reported.
#define TL_EXTRACT_BENCHMARK(name, clip, format)                                                               \
    BENCHMARK_CAPTURE(extractVersusFfmpeg, name, clip, std::string(format))                                   \
        ->UseManualTime()                                                                                     \
        ->Unit(benchmark::kMillisecond)                                                                       \
        ->Iterations(1)                                                                                       \
        ->Repetitions(3)                                                                                      \
        ->ReportAggregatesOnly(true)

TL_EXTRACT_BENCHMARK(jpeg_720p, clip720, "jpg");
TL_EXTRACT_BENCHMARK(png_720p, clip720, "png");
TL_EXTRACT_BENCHMARK(jpeg_1080p, clip1080, "jpg");
TL_EXTRACT_BENCHMARK(png_1080p, clip1080, "png");

} // namespace

BENCHMARK_MAIN();
