#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

// Writes image to path, choosing the writer by the name's extension and the image's
// element type, then copies the tags of metadataSource (when not empty) into the
// written file with keyword added to its Keywords. Returns whether a file was written.
bool writeImage(const std::string& path, cv::InputArray image, const std::string& metadataSource,
                const std::string& keyword);

// writeImage in two steps, for a caller that prepares its next file while exiftool
// tags the last one. encodeImage returns the bytes that writeImage's OpenCV writer
// would put into the file at path, or nothing when writeImage would take another
// writer or the encoder fails. writeEncodedImage puts them into the file; without
// them, or when they cannot be written, it runs writeImage's whole chain of writers.
// It returns whether a file was written; the tags are left to the caller
// (PendingMetadataCopy).
std::vector<unsigned char> encodeImage(const std::string& path, const cv::Mat& image);
bool writeEncodedImage(const std::string& path, const std::vector<unsigned char>& encoded,
                       const cv::Mat& image);

// The merge program's last step: converts the light image to the requested bits per
// channel and writes it with the instant image's tags and the keyword "Tessaline".
bool saveMergedImage(cv::InputArray image, const std::string& outputPath, int bitsPerChannel,
                     const std::string& instantImagePath);
