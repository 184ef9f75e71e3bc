// Loading one image file: time per megapixel for the ordinary, the camera raw (a real
// 2.7-megapixel NEF when the test data is there, and a generated 24-megapixel DNG) and
// the child-process paths, and the memory that each load adds at its peak.
// Baselines: the bare library call for the same file (cv::imread; LibRaw's development
// without our copy; DevIL in this process), so the ratio shows what the loader adds.
#include "bench/ProcessMemory.hpp"
#include "input/DevilImageLoader.hpp"
#include "input/ImageLoader.hpp"
#include "tools/DngFile.hpp"
#include "tools/GrainyScene.hpp"

#include <benchmark/benchmark.h>
#include <libraw/libraw.h>
#include <opencv2/imgcodecs.hpp>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

using namespace tl;

namespace {

const cv::Size megapixels12(4000, 3000);
const cv::Size megapixels24(6000, 4000);
const std::string cameraRawFile = std::string(TL_SOURCE_DIR) + "/../shared/testdata/raw/RAW_NIKON_D1.NEF";

// The generated inputs, written once per run into a scratch folder.
struct Inputs {
    std::filesystem::path folder = std::filesystem::temp_directory_path() / "tl-bench-load";
    std::string jpeg = (folder / "scene.jpg").string();
    std::string tga = (folder / "scene.tga").string();
    std::string radiance = (folder / "scene.hdr").string();
    std::string dng = (folder / "scene.dng").string();

    Inputs() {
        std::filesystem::create_directories(folder);
        std::ofstream(dng, std::ios::binary) << dngBytes(bayerScene(megapixels24), 1);
        const cv::Mat picture = grainyScene(megapixels12, CV_8U);
        cv::imwrite(jpeg, picture, {cv::IMWRITE_JPEG_QUALITY, 92});
        cv::Mat light;
        picture.convertTo(light, CV_32FC3, 1.0 / 64);
        cv::imwrite(radiance, light);
        writeTga(picture);
    }
    ~Inputs() { std::filesystem::remove_all(folder); }

    // Uncompressed true-colour TGA, top row first: a format only DevIL reads.
    void writeTga(const cv::Mat& picture) const {
        unsigned char header[18] = {0, 0, 2};
        header[12] = static_cast<unsigned char>(picture.cols & 0xFF);
        header[13] = static_cast<unsigned char>(picture.cols >> 8);
        header[14] = static_cast<unsigned char>(picture.rows & 0xFF);
        header[15] = static_cast<unsigned char>(picture.rows >> 8);
        header[16] = 24;
        header[17] = 0x20;
        std::ofstream out(tga, std::ios::binary);
        out.write(reinterpret_cast<const char*>(header), sizeof header);
        out.write(reinterpret_cast<const char*>(picture.data), std::streamsize(picture.total() * 3));
    }
};

const Inputs& inputs() {
    static const Inputs made;
    return made;
}

// Runs load once per iteration and reports seconds per megapixel of the loaded image
// and the resident memory that the load added at its peak.
template <typename Load>
void measureLoad(benchmark::State& state, Load load) {
    double megapixels = 0;
    double peak = 0;
    for (auto _ : state) {
        cv::Mat image;
        peak = peakAddedMiB([&] { image = load(); });
        benchmark::DoNotOptimize(image.data);
        if (image.empty()) {
            state.SkipWithError("nothing was loaded");
            return;
        }
        megapixels = image.total() / 1e6;
    }
    state.counters["s_per_MP"] =
        benchmark::Counter(megapixels, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["peak_added_MiB"] = peak;
}

void jpegWithImread(benchmark::State& state) {
    measureLoad(state, [] { return cv::imread(inputs().jpeg, cv::IMREAD_COLOR); });
}

void jpegWithLoadImage(benchmark::State& state) {
    measureLoad(state, [] { return loadImage(inputs().jpeg).image; });
}

// LibRaw's development alone, the pixels left in LibRaw's own buffer. The returned
// image only carries the size (its pixels are never touched, so they cost no memory).
cv::Mat developWithLibRaw(const std::string& path) {
    auto raw = std::make_unique<LibRaw>();
    raw->imgdata.params.output_bps = 16;
    raw->imgdata.params.use_camera_wb = 1;
    raw->imgdata.params.adjust_maximum_thr = 0.0f;
    if (raw->open_file(path.c_str()) || raw->unpack() || raw->dcraw_process()) return cv::Mat();
    libraw_processed_image_t* developed = raw->dcraw_make_mem_image();
    if (!developed) return cv::Mat();
    const cv::Mat size(developed->height, developed->width, CV_16UC3);
    LibRaw::dcraw_clear_mem(developed);
    return size;
}

void cameraRawWithLibRaw(benchmark::State& state) {
    if (!std::filesystem::exists(cameraRawFile)) return state.SkipWithError("test data is absent");
    measureLoad(state, [] { return developWithLibRaw(cameraRawFile); });
}

void cameraRawWithLoadImage(benchmark::State& state) {
    if (!std::filesystem::exists(cameraRawFile)) return state.SkipWithError("test data is absent");
    measureLoad(state, [] { return loadImage(cameraRawFile).image; });
}

void dng24MpWithLibRaw(benchmark::State& state) {
    measureLoad(state, [] { return developWithLibRaw(inputs().dng); });
}

void dng24MpWithLoadImage(benchmark::State& state) {
    measureLoad(state, [] { return loadImage(inputs().dng).image; });
}

void tgaWithDevilInProcess(benchmark::State& state) {
    measureLoad(state, [] { return loadDevilImage(inputs().tga); });
}

void tgaWithLoadImage(benchmark::State& state) {
    measureLoad(state, [] { return loadImage(inputs().tga).image; });
}

void radianceWithImread(benchmark::State& state) {
    measureLoad(state, [] { return cv::imread(inputs().radiance, cv::IMREAD_COLOR | cv::IMREAD_ANYDEPTH); });
}

void radianceWithLoadImage(benchmark::State& state) {
    measureLoad(state, [] { return loadImage(inputs().radiance).image; });
}

} // namespace

#define TL_LOAD_BENCHMARK(name) \
    BENCHMARK(name)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5)
TL_LOAD_BENCHMARK(jpegWithImread);
TL_LOAD_BENCHMARK(jpegWithLoadImage);
TL_LOAD_BENCHMARK(cameraRawWithLibRaw);
TL_LOAD_BENCHMARK(cameraRawWithLoadImage);
TL_LOAD_BENCHMARK(dng24MpWithLibRaw);
TL_LOAD_BENCHMARK(dng24MpWithLoadImage);
TL_LOAD_BENCHMARK(tgaWithDevilInProcess);
TL_LOAD_BENCHMARK(tgaWithLoadImage);
TL_LOAD_BENCHMARK(radianceWithImread);
TL_LOAD_BENCHMARK(radianceWithLoadImage);

BENCHMARK_MAIN();
