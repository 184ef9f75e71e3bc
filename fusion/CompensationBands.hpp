#pragma once

#include "fusion/CompensationJob.hpp"
#include "fusion/ProgressFile.hpp"

#include <opencv2/core.hpp>

// A band worker's share of the interior: the band of tiles centred on firstCentreRow and
// every job.threads-th band after it. A tile with a ghost pixel is matched once at its
// centre; its ghost pixels come from the exposure displaced by that match, its other
// pixels from the exposure in place. Writes only the output rows of its bands.
void compensateBands(const CompensationJob& job, int firstCentreRow, cv::Mat output, ProgressFile& progress);
