#pragma once

#include "fusion/CompensationJob.hpp"
#include "fusion/ProgressFile.hpp"

#include <opencv2/core.hpp>

namespace tl {

// A band worker's share of the interior: the band of tiles centred on firstCentreRow and
// every job.threads-th band after it. A tile with a ghost pixel is matched once at its
// centre; its ghost pixels come from the exposure displaced by that match, its other
// pixels from the exposure in place. Writes only the output rows of its bands. Returns the
// number of patches matched.
long long compensateBands(const CompensationJob& job, long long firstCentreRow, cv::Mat output, ProgressFile& progress);

// The progress that the band workers add, without their work: for an exposure whose mask
// holds no ghost pixel, handed on whole, the progress file reads what the workers would
// have written. The workers' steps are taken band by band, worker after worker.
void addProgressOfBands(const BandLayout& layout, int threads, ProgressFile& progress);

} // namespace tl
