#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// Writes a burst of frameCount JPEG frames of one scene into folder (which must exist) as
// frame01.jpg, frame02.jpg, ... and returns their paths; empty when a frame could not
// be written. With tags, exiftool then gives every frame a camera's EXIF tags
// (Make, Model, exposure time, aperture, ISO, date of capture).
std::vector<std::string> writeBurst(const std::string& folder, cv::Size size, int frameCount,
                                    bool tags);

// Runs exiftool on the given arguments (no shell) and waits; true when it exited with 0.
bool runExiftool(const std::vector<std::string>& arguments);

} // namespace tl
