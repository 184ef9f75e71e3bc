#pragma once

#include <opencv2/core.hpp>

#include <memory>
#include <mutex>
#include <string>

class ImagesSequenceBase;

// The merge engine: one run over an image sequence, the ghost compensation of each
// exposure, the ghost detection and the light accumulation. Its data members are the
// state those steps share; each step is a short method defined next to its subsystem
// (merge/, fusion/, align/).
class MergeEngine {
public:
    MergeEngine();
    ~MergeEngine();
    MergeEngine(const MergeEngine&) = delete;
    MergeEngine& operator=(const MergeEngine&) = delete;

    // One merge. Fills result with the light image (empty when the run ended early).
    // Returns false when the instant image cannot be read; the caller then ends the
    // process with exit status 1.
    bool run(cv::Mat& result, ImagesSequenceBase& source, int instantIndex, int count,
             float ghostingPower, float ghostThreshold, bool align, int tileSize, int threads,
             const std::string& progressPath);

    // Ghost compensation of one aligned exposure into output. Returns whether output holds
    // a compensated exposure to accumulate.
    bool compensateImage(int bitsPerChannel, int h, int g, float p, int tileSize, int T,
                         int visitingPosition, cv::Mat& output, const cv::Mat& instant,
                         const cv::Mat& exposure, const std::string& progressPath);
    // Band worker of the compensation: the band centred on firstCentreRow and every
    // T-th band after it.
    void compensateBands(int firstCentreRow);
    // Rewrites the progress file (visiting position and percentage).
    void writeProgress();

    // Ghost detection: builds ghostMask from instantImage and exposure; returns noGhost.
    bool buildGhostMask();
    // Resolves a negative search radius for the current exposure; false on failure.
    bool chooseGhostingPower(bool noGhost);
    // The motion range of the current exposure, as a search radius in pixels.
    int estimateGhostingPower(cv::Mat ghostMask);

    // Light accumulation, T the element type of the image.
    template <typename T> void addInstantLight(const cv::Mat& instant);
    template <typename T> void addExposureLight(const cv::Mat& compensated);
    bool finishLightImage(cv::Mat& light);

    // State shared by the steps, in declaration order.
    cv::Mat instantImage;
    cv::Mat instantMatching;   // 8-bit copy of the instant image for patch matching
    cv::Mat exposure;
    cv::Mat exposureMatching;  // 8-bit copy of the exposure for patch matching
    int patchHalfSize = 0;     // h
    int searchRadius = 0;      // g, pixels
    float ghostThreshold = 0;  // p, percent
    cv::Mat* output = nullptr;
    int visitingPosition = 0;
    int tileSize = 0;          // B, odd
    const std::string* progressPath = nullptr;
    cv::Mat ghostMask;         // 8-bit: 0 still, 255 ghost, 120 border pixel already filled
    int rows = 0;
    int cols = 0;
    int channels = 0;
    int rowLength = 0;         // elements per row
    float progress = 0;
    float lastWrittenProgress = 0;
    int threadCount = 0;       // T
    cv::Mat lightAccumulator;  // 64-bit float sum of the light
    double largestSum = 0;     // its largest element (0 when none is above 0), kept by each addition
    cv::Mat cornerMask;        // 255 at the instant image's corners, reused for the run
    int thresholdTableLength = 0;
    std::unique_ptr<float[]> thresholdTable;
    std::mutex progressLock;   // serialises progress updates from the band workers
};
