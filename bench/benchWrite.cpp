// Writing the light image of a 24-megapixel merge: the Radiance writer and the
// bit-depth conversions, in MB/s of input pixels. Baselines measured in the same run:
// for the writer, a single fwrite of as many bytes as the Radiance file has (the disk
// floor) and OpenCV's own Radiance encoder; for the conversions, OpenCV's convertTo
// with the same scale (which rounds and saturates instead of truncating). Rates are
// per CPU second of the calling thread: the machines these run on are shared.
#include "output/BitDepthConversion.hpp"
#include "output/RadianceWriter.hpp"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

using namespace tl;

namespace {

const cv::Size megapixels24(6000, 4000);

// A light image with samples spread over 0..1, like the result of a merge.
const cv::Mat& lightImage() {
    static const cv::Mat made = [] {
        cv::Mat image(megapixels24, CV_32FC3);
        cv::randu(image, 0.0, 1.0);
        return image;
    }();
    return made;
}

const cv::Mat& lightImageIn(int depth) {
    static const cv::Mat bytes = convertBitDepth(lightImage(), 8);
    static const cv::Mat words = convertBitDepth(lightImage(), 16);
    return depth == CV_8U ? bytes : depth == CV_16U ? words : lightImage();
}

std::string outputPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() / ("tl-bench-" + std::to_string(getpid()) + "-" + name)).string();
}

void countInput(benchmark::State& state, const cv::Mat& image) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                            static_cast<int64_t>(image.total() * image.elemSize()));
}

void writeRadianceFile(benchmark::State& state) {
    const std::string path = outputPath("light.hdr");
    for (auto _ : state)
        if (!writeRadiance(path, lightImage())) state.SkipWithError("the Radiance file was not written");
    countInput(state, lightImage());
    std::filesystem::remove(path);
}

void writeSameSizeAtOnce(benchmark::State& state) {
    const std::string path = outputPath("floor.bin");
    const std::vector<char> bytes(lightImage().total() * 4 + 67, 'x');
    for (auto _ : state) {
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size())
            state.SkipWithError("the file was not written");
        if (file) std::fclose(file);
    }
    countInput(state, lightImage());
    std::filesystem::remove(path);
}

void writeOpenCvRadiance(benchmark::State& state) {
    const std::string path = outputPath("opencv.hdr");
    for (auto _ : state)
        if (!cv::imwrite(path, lightImage())) state.SkipWithError("the Radiance file was not written");
    countInput(state, lightImage());
    std::filesystem::remove(path);
}

void convert(benchmark::State& state, int fromDepth, int bits) {
    const cv::Mat& source = lightImageIn(fromDepth);
    for (auto _ : state) benchmark::DoNotOptimize(convertBitDepth(source, bits).data);
    countInput(state, source);
}

void convertWithOpenCv(benchmark::State& state, int fromDepth, int toDepth, double scale) {
    const cv::Mat& source = lightImageIn(fromDepth);
    for (auto _ : state) {
        cv::Mat converted;
        source.convertTo(converted, toDepth, scale);
        benchmark::DoNotOptimize(converted.data);
    }
    countInput(state, source);
}

void configure(benchmark::internal::Benchmark* b) {
    b->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);
}

BENCHMARK(writeRadianceFile)->Apply(configure);
BENCHMARK(writeSameSizeAtOnce)->Apply(configure);
BENCHMARK(writeOpenCvRadiance)->Apply(configure);
BENCHMARK_CAPTURE(convert, floatTo8, CV_32F, 8)->Apply(configure);
BENCHMARK_CAPTURE(convertWithOpenCv, floatTo8, CV_32F, CV_8U, 255.0)->Apply(configure);
BENCHMARK_CAPTURE(convert, floatTo16, CV_32F, 16)->Apply(configure);
BENCHMARK_CAPTURE(convertWithOpenCv, floatTo16, CV_32F, CV_16U, 65535.0)->Apply(configure);
BENCHMARK_CAPTURE(convert, bytesTo32, CV_8U, 32)->Apply(configure);
BENCHMARK_CAPTURE(convertWithOpenCv, bytesTo32, CV_8U, CV_32F, 1.0 / 255)->Apply(configure);
BENCHMARK_CAPTURE(convert, wordsTo8, CV_16U, 8)->Apply(configure);
BENCHMARK_CAPTURE(convertWithOpenCv, wordsTo8, CV_16U, CV_8U, 255.0 / 65535)->Apply(configure);

} // namespace

BENCHMARK_MAIN();
