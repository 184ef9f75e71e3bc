#pragma once

#include "fusion/CompensationJob.hpp"
#include "fusion/ProgressFile.hpp"

#include <opencv2/core.hpp>

namespace tl {

// An exposure with its ghost pixels refilled, and the number of patches matched for it.
struct CompensatedExposure {
    cv::Mat image;
    long long patchesMatched = 0;
};

// Compensates the exposure of job: up to job.threads band workers treat the interior, the
// calling thread the border bands and the corners, and the progress file follows the
// workers. An exposure whose mask holds no ghost pixel is returned itself, shared, without
// any match. What a worker or the calling thread throws (running out of memory above all)
// is thrown here once every worker has ended.
CompensatedExposure compensateExposure(const CompensationJob& job, ProgressFile& progress);

} // namespace tl
