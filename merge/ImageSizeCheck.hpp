#pragma once

#include "merge/MergeCommandLine.hpp"

#include <string>

namespace tl {

// Why the images of a merge cannot be merged as they are: one cannot be read, or is not as
// large as the instant image. Checked from the files' headers before the merge (a format
// without a header reader is decoded), so that a merge does not find out one exposure
// after the other, leave each out and write what is left. Empty when every image fits.
std::string imageSizeProblem(const ImageList& images);

} // namespace tl
