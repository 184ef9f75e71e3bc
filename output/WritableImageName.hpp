#pragma once

#include <string>

// Whether one of the image writers takes a file of this name: a Radiance file (.hdr),
// or an extension that OpenCV's or DevIL's writers know. What the writers choose from
// the extension is settled only when they write; this answers before a long run
// whether its result can be written at all.
bool isWritableImageName(const std::string& path);
