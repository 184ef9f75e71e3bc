#include "diag/Log.hpp"
#include "input/ImagesSequence.hpp"
#include "merge/MergeEngine.hpp"

// Placeholder until the pipeline lands: checks the instant image only.
bool MergeEngine::run(cv::Mat& result, ImagesSequenceBase& source, int instantIndex, int,
                      float, float, bool, int, int, const std::string&) {
    const cv::Mat instant = source.getImage(instantIndex);
    if (instant.rows == 0 || instant.cols == 0) {
        reportError("Main",
                    "Error during accessing the image at index " + std::to_string(instantIndex) + "\n");
        return false;
    }
    result = cv::Mat();
    return true;
}
