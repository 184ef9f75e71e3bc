#include "fusion/ExposureCompensation.hpp"

#include "common/ImageLibraryThreads.hpp"
#include "common/TaskGroup.hpp"
#include "fusion/BorderCompensation.hpp"
#include "fusion/CompensationBands.hpp"

#include <numeric>
#include <optional>
#include <vector>

namespace tl {

namespace {

// Starts one band worker per first band, up to job.threads; the calling thread treats the
// borders and corners meanwhile, and any share whose worker could not be started. What
// any of them throws (std::bad_alloc, cv::Exception) is thrown again here, once every
// worker has ended.
long long runWorkersAndBorders(const CompensationJob& job, const cv::Mat& output, ProgressFile& progress) {
    // The band workers already fill the cores: OpenCV's inner threads on top of them would
    // only compete for them (bench/benchCompensation compares both).
    std::optional<ImageLibraryHeldToCallers> held;
    if (job.threads > 1) held.emplace();
    const std::vector<long long> firstCentres = job.layout.workerFirstCentres(job.threads);
    // Each worker writes its own count.
    std::vector<long long> matched(firstCentres.size(), 0);
    TaskGroup workers;
    for (std::size_t w = 0; w < firstCentres.size(); ++w)
        workers.run([&job, centre = firstCentres[w], output, &progress, &count = matched[w]] {
            count = compensateBands(job, centre, output, progress);
        });
    const long long matchedOnBorders = compensateBorders(job, output);
    workers.wait();
    return std::accumulate(matched.begin(), matched.end(), matchedOnBorders);
}

} // namespace

CompensatedExposure compensateExposure(const CompensationJob& job, ProgressFile& progress) {
    // Without a ghost pixel left after the clean-up every tile, border pixel and corner
    // is copied from the exposure at its own place: the exposure itself is the result,
    // shared instead of copied, and no patch is matched.
    if (cv::countNonZero(job.ghostMask) == 0) {
        addProgressOfBands(job.layout, job.threads, progress);
        return {job.pair.exposure, 0};
    }
    const cv::Mat output = cv::Mat::zeros(job.pair.instant.size(), job.pair.instant.type());
    const long long matched = runWorkersAndBorders(job, output, progress);
    return {output, matched};
}

} // namespace tl
