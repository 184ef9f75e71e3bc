#include "fusion/ExposureCompensation.hpp"

#include "common/ImageLibraryThreads.hpp"
#include "common/WorkerThread.hpp"
#include "diag/Log.hpp"
#include "fusion/BorderCompensation.hpp"
#include "fusion/CompensationBands.hpp"

#include <pthread.h>

#include <exception>
#include <optional>
#include <vector>

namespace {

// Starts one band worker per first band, up to T; the calling thread treats the shares of
// workers that could not be started, then the borders and corners, and joins everybody.
// What any of them throws (std::bad_alloc, cv::Exception) is thrown again here, once
// every worker has been joined.
void runWorkersAndBorders(const CompensationJob& job, const cv::Mat& output, ProgressFile& progress) {
    // The band workers already fill the cores: OpenCV's inner threads on top of them would
    // only compete for them (bench/benchCompensation compares both).
    std::optional<ImageLibraryHeldToCallers> held;
    if (job.threads > 1) held.emplace();
    const std::vector<long long> firstCentres = job.layout.workerFirstCentres(job.threads);
    // One slot per worker, the caller's last; each is written by its own thread only.
    std::vector<std::exception_ptr> failures(firstCentres.size() + 1);
    const auto guarded = [&failures](std::size_t slot, const auto& work) {
        try {
            work();
        } catch (...) {
            failures[slot] = std::current_exception();
        }
    };
    std::vector<pthread_t> started;
    std::vector<std::size_t> leftToCaller;
    for (std::size_t w = 0; w < firstCentres.size(); ++w) {
        const auto share = [&job, centre = firstCentres[w], output, &progress] {
            compensateBands(job, centre, output, progress);
        };
        pthread_t handle;
        if (startWorker([&guarded, w, share] { guarded(w, share); }, &handle))
            started.push_back(handle);
        else
            leftToCaller.push_back(w);
    }
    guarded(firstCentres.size(), [&] {
        for (std::size_t w : leftToCaller) compensateBands(job, firstCentres[w], output, progress);
        compensateBorders(job, output);
    });
    for (pthread_t handle : started)
        if (pthread_join(handle, nullptr) != 0)
            reportError("parallelComputeLightImage", "ERROR during pthread_join()\n");
    for (const std::exception_ptr& failure : failures)
        if (failure) std::rethrow_exception(failure);
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
