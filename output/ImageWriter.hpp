#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// The one way images leave the programs. The writer is chosen by the name's extension and
// the image's element type: the Radiance writer for three-channel images named .hdr, then
// OpenCV, then DevIL, each tried when the one before fails.

// Writes image to path, then copies the tags of metadataSource (when not empty) into the
// written file with keyword added to its Keywords. Returns whether a file was written.
bool writeImage(const std::string& path, cv::InputArray image, const std::string& metadataSource,
                const std::string& keyword);

// writeImage without the tags. A failed write leaves no empty or partial file behind.
bool writeImageFile(const std::string& path, const cv::Mat& image);

// Writes bytes as the whole file at path; a failed write leaves no partial file behind.
bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// Whether writeImage hands image to OpenCV's writer for path as it is: a two-dimensional
// image, not a Radiance file, not float and not EXR (which needs float samples).
bool takesPlainOpenCvWriter(const std::string& path, const cv::Mat& image);
