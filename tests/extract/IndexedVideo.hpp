#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// Videos made by FFmpeg whose every frame shows its own index as a bold binary
// pattern: twelve blocks, white for a set bit and black for a clear one, large enough
// to survive any lossy codec.

// Writes count frames of width x height as PNG files into folder and encodes them with
// ffmpeg, 25 frames per second, with the given encoder (and filter) options. Returns
// the path of the video, or an empty string when ffmpeg failed.
std::string makeIndexedVideo(const std::string& folder, const std::string& fileName, int count,
                             const std::vector<std::string>& encoderOptions, int width = 160,
                             int height = 120);

// The index a frame shows.
int shownIndex(const cv::Mat& frame);

// Every frame of the video, decoded one after the other from its start.
std::vector<cv::Mat> decodeSequentially(const std::string& videoPath);

// Whether two images have the same size, type and pixels.
bool samePixels(const cv::Mat& a, const cv::Mat& b);

} // namespace tl
