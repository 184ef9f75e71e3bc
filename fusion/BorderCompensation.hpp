#pragma once

#include "fusion/CompensationJob.hpp"

#include <opencv2/core.hpp>

namespace tl {

// The border bands and the four corners of the job's exposure, worked on the calling
// thread while the band workers treat the interior. The border bands match pixel by
// pixel but hand each displacement on down the column (top and bottom bands) or along
// the row (left and right bands) to the further ghost pixels of the band, which are
// marked 120 in the ghost mask so that they are not matched again. Returns the number
// of patches matched.
long long compensateBorders(const CompensationJob& job, cv::Mat output);

} // namespace tl
