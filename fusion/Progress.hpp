#pragma once

#include <string>

class MergeEngine;

// The progress file: one line, the visiting position, a blank and the percentage within
// the current exposure truncated toward zero, no line end; rewritten in full each time.
// A file that cannot be opened is skipped silently.
void writeProgressFile(const std::string& path, int visitingPosition, float percent);

// Adds step percent for a band worker and rewrites the file once the percentage has
// reached the last written progress + 10. Serialised, so that the file never goes back.
void addBandProgress(MergeEngine& engine, float step);
