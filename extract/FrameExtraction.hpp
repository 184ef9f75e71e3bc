#pragma once

#include "common/Failure.hpp"
#include "extract/ExtractArguments.hpp"

namespace tl {

// How the extraction was called: by the front end's positions, whose reports keep their
// fixed texts, or by name, whose reports tell a person more.
enum class ExtractionCall { byPosition, byName };

// One extraction: opens the video, writes every frame of the requested window as a
// numbered image file carrying the video's tags and keeps the list file. A fault that ends
// it (a video that cannot be used, a file that cannot be written) is thrown as a
// StepFailure; the frames left without tags are handed to passedOver first. The log, when
// there is one, must already have been found writable.
void extractFrames(const ExtractArguments& arguments, ExtractionCall call, const PassedOver& passedOver);

} // namespace tl
