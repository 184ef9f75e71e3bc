#pragma once

#include "extract/ExtractArguments.hpp"

// How the extraction was called: by the front end's positions, whose reports keep their
// fixed texts, or by name, whose reports tell a person more.
enum class ExtractionCall { byPosition, byName };

// One extraction: opens the video, writes every frame of the requested window as a
// numbered image file carrying the video's tags, keeps the list file, and reports a
// video that cannot be used under "main". Returns the exit status (0 or 1).
int extractFrames(const ExtractArguments& arguments, ExtractionCall call = ExtractionCall::byPosition);
