// Alignment of one 24-megapixel exposure onto the instant image, and the memory it adds
// at its peak. Baseline: OpenCV's own translation-only ECC with the same criteria,
// followed by the same warp.
#include "align/ExposureAlignment.hpp"
#include "bench/ProcessMemory.hpp"

#include <benchmark/benchmark.h>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/video/tracking.hpp>

#include <string>

using namespace tl;

namespace {

const cv::Size megapixels24(6000, 4000);

// A 24-megapixel scene made from a photograph of the test data by enlarging it, and the
// window of it seen by the instant image's camera and by one moved by (dx, dy).
cv::Mat sceneWindow(const std::string& name, int dx, int dy) {
    const cv::Mat photograph = cv::imread(std::string(TL_SOURCE_DIR) + "/../shared/testdata/bracket-desk/" + name,
                                          cv::IMREAD_COLOR | cv::IMREAD_IGNORE_ORIENTATION);
    if (photograph.empty()) return {};
    cv::Mat scene;
    cv::resize(photograph, scene, megapixels24 + cv::Size(32, 32), 0, 0, cv::INTER_CUBIC);
    return scene(cv::Rect(cv::Point(16 - dx, 16 - dy), megapixels24)).clone();
}

struct AlignmentInputs {
    cv::Mat instant = sceneWindow("img05.jpg", 0, 0);
    cv::Mat greyInstant = [this] {
        cv::Mat grey;
        if (!instant.empty()) cv::cvtColor(instant, grey, cv::COLOR_BGR2GRAY);
        return grey;
    }();
    cv::Mat exposure = sceneWindow("img07.jpg", 5, -3);
};

const AlignmentInputs& inputs() {
    static const AlignmentInputs made;
    return made;
}

template <typename Align>
void measureAlignment(benchmark::State& state, Align align) {
    const AlignmentInputs& in = inputs();
    if (in.exposure.empty()) {
        state.SkipWithError("test data is absent");
        return;
    }
    double peak = 0;
    for (auto _ : state) {
        cv::Mat aligned;
        peak = peakAddedMiB([&] { aligned = align(in); });
        benchmark::DoNotOptimize(aligned.data);
        if (aligned.empty()) state.SkipWithError("the alignment failed");
    }
    state.counters["peak_added_MiB"] = peak;
}

void alignExposure24Mp(benchmark::State& state) {
    measureAlignment(state, [](const AlignmentInputs& in) {
        return alignExposure(in.greyInstant, in.exposure, in.instant.channels());
    });
}

void openCvEccTranslation24Mp(benchmark::State& state) {
    measureAlignment(state, [](const AlignmentInputs& in) {
        cv::Mat greyExposure;
        cv::cvtColor(in.exposure, greyExposure, cv::COLOR_BGR2GRAY);
        cv::Mat warp = cv::Mat::eye(2, 3, CV_32F);
        const cv::TermCriteria criteria(cv::TermCriteria::COUNT | cv::TermCriteria::EPS, 5,
                                        static_cast<double>(0.001f));
        cv::findTransformECC(in.greyInstant, greyExposure, warp, cv::MOTION_TRANSLATION, criteria,
                             cv::noArray(), 5);
        cv::Mat aligned = in.exposure.clone();
        cv::warpAffine(in.exposure, aligned, warp, aligned.size(), cv::INTER_NEAREST | cv::WARP_INVERSE_MAP,
                       cv::BORDER_TRANSPARENT, 0);
        return aligned;
    });
}

}  // namespace

BENCHMARK(openCvEccTranslation24Mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);
BENCHMARK(alignExposure24Mp)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1)->Repetitions(5);

BENCHMARK_MAIN();
