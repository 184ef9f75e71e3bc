#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <string>

namespace tl {

// The merge program's last step: converts the light image to the requested bits per
// channel and writes it with the instant image's tags and the keyword "Tessaline". A
// format that holds 8 bits per channel only gets the 8-bit conversion when 16 bits are
// asked for (passedOver hears of it, Failure::Code::narrowerFormat), rather than 16-bit
// values squeezed into it; so do the faults writeImage passes over. A file that could not
// be written throws writeImage's StepFailure, the reason as its detail.
void saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath, const PassedOver& passedOver = {});

} // namespace tl
