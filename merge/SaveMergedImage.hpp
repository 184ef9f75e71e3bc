#pragma once

#include <opencv2/core.hpp>

#include <string>

// The merge program's last step: converts the light image to the requested bits per
// channel and writes it with the instant image's tags and the keyword "Tessaline".
// Returns whether a file was written.
bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath);
