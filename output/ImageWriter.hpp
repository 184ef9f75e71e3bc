#pragma once

#include <opencv2/core.hpp>

#include <string>

// Writes image to path, choosing the writer by the name's extension and the image's
// element type, then copies the tags of metadataSource (when not empty) into the
// written file with keyword added to its Keywords. Returns whether a file was written.
bool writeImage(const std::string& path, cv::InputArray image, const std::string& metadataSource,
                const std::string& keyword);

// The merge program's last step: converts the light image to the requested bits per
// channel and writes it with the instant image's tags and the keyword "Tessaline".
bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath);
