// Frames per second of the frame extractor cutting 200 frames out of a 1080p H.264
// video into JPEG files with the video's tags copied into each, next to FFmpeg's own
// command-line tool extracting the same frames to JPEG in the same run. Further figures:
// the processor time per frame of both (the extractor's exiftool included), and the
// time one exiftool process takes for the same 200 tag copies straight from the video
// (the extractor's options, one argument list per file) as a share of the extractor's.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int videoFrames = 300;
constexpr int firstFrame = 100;
constexpr int windowFrames = 200;

// Runs program (looked up on PATH when it has no "/") with arguments, its output
// thrown away, and returns whether it exited with status 0. processor receives the
// processor time of the program and of the programs it started and waited for.
bool succeeds(const std::string& program, const std::vector<std::string>& arguments,
              double* processor = nullptr) {
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int started = posix_spawnp(&child, program.c_str(), &quiet, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    rusage usage{};
    const bool ended = started == 0 && wait4(child, &status, 0, &usage) == child;
    if (processor)
        *processor = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
    return ended && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const fs::path& workFolder() {
    static const fs::path folder = [] {
        fs::path f = fs::temp_directory_path() / "tl-bench-extract";
        fs::create_directories(f);
        return f;
    }();
    return folder;
}

// A 1080p H.264 clip of FFmpeg's moving test pattern, made once per run.
const std::string& benchVideo() {
    static const std::string video = [] {
        const std::string path = (workFolder() / "clip1080.mp4").string();
        if (!fs::exists(path))
            succeeds("ffmpeg", {"-hide_banner", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                                "testsrc2=size=1920x1080:rate=25", "-frames:v",
                                std::to_string(videoFrames), "-c:v", "libx264", "-preset", "veryfast",
                                "-pix_fmt", "yuv420p", path});
        return path;
    }();
    return video;
}

fs::path freshOutputFolder(const std::string& name) {
    const fs::path folder = workFolder() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// Wall seconds of one run; processor (when given) receives its processor seconds.
double secondsOf(bool& ok, const std::string& program, const std::vector<std::string>& arguments,
                 double* processor = nullptr) {
    const auto start = std::chrono::steady_clock::now();
    ok = succeeds(program, arguments, processor);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

double kadrimoSeconds(bool& ok, double& processor) {
    const fs::path out = freshOutputFolder("kadrimo");
    // The window [1/3, 1) of 300 frames is frames 100 to 299.
    return secondsOf(ok, TL_KADRIMO_BIN,
                     {"0", "1", "3", "3", benchVideo(), out.string(), "frame", "jpg",
                      (out / "list.txt").string()},
                     &processor);
}

double ffmpegSeconds(bool& ok, double& processor) {
    const fs::path out = freshOutputFolder("ffmpeg");
    const std::string select = "select=between(n\\," + std::to_string(firstFrame) + "\\," +
                               std::to_string(firstFrame + windowFrames - 1) + ")";
    return secondsOf(ok, "ffmpeg",
                     {"-hide_banner", "-loglevel", "error", "-y", "-i", benchVideo(), "-vf", select,
                      "-fps_mode", "passthrough", "-frames:v", std::to_string(windowFrames), "-q:v",
                      "2", (out / "frame%03d.jpg").string()},
                     &processor);
}

// Tags the frames that the extractor wrote once more, as one exiftool batch, and
// removes the backups.
double tagCopySeconds(bool& ok) {
    const fs::path out = workFolder() / "kadrimo";
    const fs::path argumentFile = workFolder() / "tag-copies.txt";
    std::ofstream arguments(argumentFile);
    for (const auto& entry : fs::directory_iterator(out))
        if (entry.path().extension() == ".jpg")
            arguments << "-q\n-tagsfromfile\n" << benchVideo() << "\n-keywords+=Tessaline_ImageFromVideo\n"
                      << "-Firmware=Tessaline\n" << entry.path().string() << "\n-execute\n";
    arguments.close();
    const double seconds = secondsOf(ok, "exiftool", {"-@", argumentFile.string()});
    for (const auto& entry : fs::directory_iterator(out))
        if (entry.path().string().ends_with("_original")) fs::remove(entry.path());
    return seconds;
}

void extractVersusFfmpeg(benchmark::State& state) {
    if (benchVideo().empty() || !fs::exists(benchVideo())) {
        state.SkipWithError("ffmpeg could not make the 1080p clip");
        return;
    }
    double kadrimoTotal = 0.0;
    double ffmpegTotal = 0.0;
    double tagCopyTotal = 0.0;
    double kadrimoProcessor = 0.0;
    double ffmpegProcessor = 0.0;
    for (auto _ : state) {
        bool ffmpegOk = false;
        bool kadrimoOk = false;
        bool tagCopyOk = false;
        double processor = 0.0;
        ffmpegTotal += ffmpegSeconds(ffmpegOk, processor);
        ffmpegProcessor += processor;
        const double seconds = kadrimoSeconds(kadrimoOk, processor);
        kadrimoProcessor += processor;
        kadrimoTotal += seconds;
        tagCopyTotal += tagCopySeconds(tagCopyOk);
        if (!ffmpegOk || !kadrimoOk || !tagCopyOk) {
            state.SkipWithError("a run failed");
            return;
        }
        state.SetIterationTime(seconds);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["kadrimo_fps"] = windowFrames * runs / kadrimoTotal;
    state.counters["ffmpeg_fps"] = windowFrames * runs / ffmpegTotal;
    state.counters["ratio"] = ffmpegTotal / kadrimoTotal;  // target: at least 0.7
    state.counters["tag_copy_share"] = tagCopyTotal / kadrimoTotal;
    // Processor milliseconds per frame, exiftool's included: on a busy machine these
    // hold where the wall times do not.
    state.counters["kadrimo_cpu_ms_per_frame"] = 1000.0 * kadrimoProcessor / (windowFrames * runs);
    state.counters["ffmpeg_cpu_ms_per_frame"] = 1000.0 * ffmpegProcessor / (windowFrames * runs);
}

BENCHMARK(extractVersusFfmpeg)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

} // namespace

BENCHMARK_MAIN();
