#pragma once

#include "extract/ExtractArguments.hpp"

// One extraction: opens the video, writes every frame of the requested window as a
// numbered image file carrying the video's tags, keeps the list file, and reports a
// video that cannot be used under "main". Returns the exit status (0 or 1).
int extractFrames(const ExtractArguments& arguments);
