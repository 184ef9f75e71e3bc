#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

namespace tl {

// Whoever follows a merge run: a progress display, a check of the exposures. Every call is
// made on the run's calling thread, between the run's own steps.
class MergeObserver {
public:
    virtual ~MergeObserver() = default;

    // The image at sequence index was read (the instant image first).
    virtual void imageLoaded(int index, const cv::Mat& image) = 0;

    // The run is done with the exposure at visiting position (1 to exposures), whether it
    // was added to the light or left out.
    virtual void exposureVisited(int position, int exposures) = 0;

    // The run went past a fault: an exposure left out, samples counted as 0.
    virtual void passedOver(const Failure& fault) = 0;
};

} // namespace tl
