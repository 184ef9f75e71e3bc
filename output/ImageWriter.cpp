#include "output/ImageWriter.hpp"

// Placeholder until the writers land: nothing is written.
bool writeImage(const std::string&, cv::InputArray, const std::string&, const std::string&) {
    return false;
}

bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int,
                     const std::string& instantImagePath) {
    return writeImage(outputPath, image, instantImagePath, "Tessaline");
}
