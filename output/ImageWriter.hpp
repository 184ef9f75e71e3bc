#pragma once

#include "common/Failure.hpp"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// The one way images leave the programs. The writer is chosen by the name's extension and
// the image's element type: the Radiance writer for three-channel images named .hdr, then
// OpenCV, then DevIL, each tried when the one before fails.

// Writes image to path, copies the tags of metadataSource (when not empty) into it with
// keyword added to its Keywords, and only then puts the file in the path's place (see
// ReplacingFile): a failed write leaves what was at the path as it was. A file that could
// not be written throws a StepFailure (Failure::Code::imageUnwritable, naming path, the
// reason as its detail). Tags that could not be copied into a written file are handed to
// passedOver (Failure::Code::tagsNotCopied), and so is an element type no writer knows.
void writeImage(const std::string& path, cv::InputArray image, const std::string& metadataSource,
                const std::string& keyword, const PassedOver& passedOver = {});

// Writes image into the file at path with the first writer that takes it; the caller
// sees to replacing files safely. Throws writeImage's StepFailure when no writer did.
void writeImageFile(const std::string& path, const cv::Mat& image, const PassedOver& passedOver = {});

// Writes bytes as the whole file at path.
bool writeFileBytes(const std::string& path, const std::vector<unsigned char>& bytes);

// Whether writeImage hands image to OpenCV's writer for path as it is: a two-dimensional
// image, not a Radiance file, not float and not EXR (which needs float samples).
bool takesPlainOpenCvWriter(const std::string& path, const cv::Mat& image);

} // namespace tl
