#pragma once

#include "common/Failure.hpp"
#include "merge/MergeCommandLine.hpp"

namespace tl {

class ProgressBar;

// A reference merge as the merge command runs it, once its files are settled: the images
// read (the instant image must be; another that cannot be read, or does not fit it, ends
// the run) while exiftool reads their capture settings; the merge; each frame's exposure
// and where it came from, and a disagreement of the EXIF tags with the images; the masks as
// 8-bit PNG files when asked for; the result written with the instant image's tags -
// linear light on the instant image's scale at 32 bits, the display rendering at 8 and 16.
// What the command reports while the run goes on (an image that cannot be opened, unusable
// samples, the exposures, the writer's warnings) is handed to passedOver; a fault that ends
// the run is thrown as a StepFailure (or as another exception, for want of memory say).
void runReferenceMerge(const MergeSettings& settings, const ImageList& list, ProgressBar* bar,
                       const PassedOver& passedOver);

} // namespace tl
