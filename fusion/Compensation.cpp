#include "merge/MergeEngine.hpp"

// Placeholder until the ghost compensation lands: the exposure passes unchanged.
bool MergeEngine::compensateImage(int bitsPerChannel, int, int, float, int, int, int,
                                  cv::Mat& output, const cv::Mat&, const cv::Mat& exposure,
                                  const std::string&) {
    if (bitsPerChannel != 8 && bitsPerChannel != 16 && bitsPerChannel != 32) return false;
    output = exposure;
    return true;
}
