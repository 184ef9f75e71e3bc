#pragma once

#include "common/Failure.hpp"
#include "merge/MergeCommandLine.hpp"

class ProgressBar;

// A reference merge as the merge command runs it, once its files are settled: the images
// read (the instant image must be; another that cannot be read, or does not fit it, is
// reported and left out) while exiftool reads their capture settings; the merge; each
// frame's exposure and where it came from in the log, a disagreement of the EXIF tags with
// the images as a warning; the masks as 8-bit PNG files when asked for; the result written
// with the instant image's tags - linear light on the instant image's scale at 32 bits,
// the display rendering at 8 and 16. Returns the exit status: 0 when the merged image was
// written, otherwise 1 after the reports. The faults the writing goes past are handed to
// passedOver.
int runReferenceMerge(const MergeSettings& settings, const ImageList& list, ProgressBar* bar,
                      const PassedOver& passedOver);
