#include "diag/Log.hpp"
#include "fusion/BorderCompensation.hpp"
#include "fusion/CompensationLayout.hpp"
#include "fusion/MatchingCopy.hpp"
#include "fusion/Progress.hpp"
#include "merge/MergeEngine.hpp"
#include "merge/WorkerLauncher.hpp"

#include <pthread.h>

#include <algorithm>
#include <vector>

namespace {

int depthOfBits(int bitsPerChannel) {
    switch (bitsPerChannel) {
    case 8: return CV_8U;
    case 16: return CV_16U;
    case 32: return CV_32F;
    default: return -1;
    }
}

void bandWorker(int firstCentreRow, MergeEngine* engine) { engine->compensateBands(firstCentreRow); }

// Holds OpenCV's own thread pool to one thread while several band workers run. Measured
// on 24 megapixels with two workers (bench/benchCompensation): the same processor time,
// and the wall time lower with the pool held than with it free, the workers already
// filling the cores. No other thread uses OpenCV during the compensation.
class InnerThreadsHeld {
public:
    explicit InnerThreadsHeld(bool hold) : previous(hold ? cv::getNumThreads() : -1) {
        if (hold) cv::setNumThreads(1);
    }
    ~InnerThreadsHeld() {
        if (previous >= 0) cv::setNumThreads(previous);
    }
    InnerThreadsHeld(const InnerThreadsHeld&) = delete;
    InnerThreadsHeld& operator=(const InnerThreadsHeld&) = delete;

private:
    int previous;
};

// Starts one band worker per first band, up to T, lets the calling thread treat the
// shares of workers that could not be created and then the borders and corners, and
// joins everybody.
void compensateAllRegions(MergeEngine& e) {
    const BandLayout layout{e.rows, e.cols, e.patchHalfSize, e.tileSize};
    const InnerThreadsHeld held(e.threadCount > 1);
    std::vector<pthread_t> started;
    std::vector<int> leftToCaller;
    for (int centre : layout.workerFirstCentres(e.threadCount)) {
        pthread_t handle;
        if (startWorker(bandWorker, centre, &e, &handle)) started.push_back(handle);
        else leftToCaller.push_back(centre);
    }
    for (int centre : leftToCaller) e.compensateBands(centre);
    compensateBorders(e);
    for (pthread_t handle : started)
        if (pthread_join(handle, nullptr) != 0)
            reportError("parallelComputeLightImage", "ERROR during pthread_join()\n");
}

// The compensation of one exposure whose depth is 8-bit, 16-bit or float.
bool parallelComputeLightImage(MergeEngine& e) {
    writeProgressFile(*e.progressPath, e.visitingPosition, 0);

    const bool noGhost = e.buildGhostMask();
    // The 8-bit copies serve the patch matching alone, which needs a ghost pixel.
    e.instantMatching = noGhost ? cv::Mat() : matchingCopy(e.instantImage);
    e.exposureMatching = noGhost ? cv::Mat() : matchingCopy(e.exposure);
    if (e.searchRadius < 0 && !e.chooseGhostingPower(noGhost)) return false;

    // Without a ghost pixel left after the clean-up every tile, border pixel and corner
    // is copied from the exposure at its own place: the exposure itself is the result,
    // shared instead of copied, and no patch is matched.
    if (noGhost || cv::countNonZero(e.ghostMask) == 0) {
        *e.output = e.exposure;
    } else {
        *e.output = cv::Mat::zeros(e.instantImage.size(), e.instantImage.type());
        compensateAllRegions(e);
    }
    e.exposure.release();
    e.ghostMask.release();
    return true;
}

} // namespace

bool MergeEngine::compensateImage(int bitsPerChannel, int h, int g, float p, int tileSizeGiven, int T,
                                  int position, cv::Mat& out, const cv::Mat& instant,
                                  const cv::Mat& exposed, const std::string& progressFile) {
    const int depth = depthOfBits(bitsPerChannel);
    if (depth < 0 || instant.depth() != depth) return false;
    // Too small for a patch and an interior: the exposure is accumulated as it is.
    if (instant.rows < 2 * h + 2 || instant.cols < 2 * h + 2) {
        out = exposed;
        return true;
    }

    instantImage = instant;
    exposure = exposed;
    patchHalfSize = h;
    searchRadius = g;
    ghostThreshold = p;
    output = &out;
    visitingPosition = position;
    tileSize = normaliseTileSize(tileSizeGiven);
    progressPath = &progressFile;
    rows = instant.rows;
    cols = instant.cols;
    channels = instant.channels();
    rowLength = cols * channels;
    progress = 0;
    lastWrittenProgress = 0;
    threadCount = std::max(1, T);

    const bool compensated = parallelComputeLightImage(*this);
    output = nullptr;
    progressPath = nullptr;
    return compensated;
}
