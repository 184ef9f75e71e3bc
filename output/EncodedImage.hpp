#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// writeImage in two steps, for a caller that prepares its next file while exiftool tags
// the last one. encodeImage returns the bytes that writeImage's OpenCV writer would put
// into the file at path, or nothing when writeImage would take another writer or the
// encoder fails. writeEncodedImage puts them into the file at path (for the frame
// extractor, the temporary file of a ReplacingFile); without them it runs writeImage's
// whole chain of writers on image. A file that was not written throws writeImage's
// StepFailure (its detail the system's word for bytes it refused); the tags are left to
// the caller. Encoding may run on any thread.
std::vector<unsigned char> encodeImage(const std::string& path, const cv::Mat& image);
void writeEncodedImage(const std::string& path, const std::vector<unsigned char>& encoded, const cv::Mat& image);

} // namespace tl
