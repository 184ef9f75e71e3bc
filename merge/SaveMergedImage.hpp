#pragma once

#include <opencv2/core.hpp>

#include <string>

// The merge program's last step: converts the light image to the requested bits per
// channel and writes it with the instant image's tags and the keyword "Tessaline". A
// format that holds 8 bits per channel only gets the 8-bit conversion when 16 bits are
// asked for (the log says so), rather than 16-bit values squeezed into it. Returns whether
// the file was written; when not and failure is given, it receives the reason.
bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath, std::string* failure = nullptr);
