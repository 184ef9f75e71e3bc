#include "fusion/ExposureCompensation.hpp"

#include "common/ImageLibraryThreads.hpp"
#include "common/TaskGroup.hpp"
#include "fusion/BorderCompensation.hpp"
#include "fusion/CompensationBands.hpp"

#include <optional>

namespace {

// Starts one band worker per first band, up to job.threads; the calling thread treats the
// borders and corners meanwhile, and any share whose worker could not be started. What
// any of them throws (std::bad_alloc, cv::Exception) is thrown again here, once every
// worker has ended.
void runWorkersAndBorders(const CompensationJob& job, const cv::Mat& output, ProgressFile& progress) {
    // The band workers already fill the cores: OpenCV's inner threads on top of them would
    // only compete for them (bench/benchCompensation compares both).
    std::optional<ImageLibraryHeldToCallers> held;
    if (job.threads > 1) held.emplace();
    TaskGroup workers;
    for (const long long centre : job.layout.workerFirstCentres(job.threads))
        workers.run([&job, centre, output, &progress] { compensateBands(job, centre, output, progress); });
    compensateBorders(job, output);
    workers.wait();
}

} // namespace

cv::Mat compensateExposure(const CompensationJob& job, ProgressFile& progress) {
    // Without a ghost pixel left after the clean-up every tile, border pixel and corner
    // is copied from the exposure at its own place: the exposure itself is the result,
    // shared instead of copied, and no patch is matched.
    if (cv::countNonZero(job.ghostMask) == 0) {
        addProgressOfBands(job.layout, job.threads, progress);
        return job.pair.exposure;
    }
    const cv::Mat output = cv::Mat::zeros(job.pair.instant.size(), job.pair.instant.type());
    runWorkersAndBorders(job, output, progress);
    return output;
}
