#pragma once

#include "input/LoadedImage.hpp"

#include <chrono>
#include <string>

namespace tl {

// The decoders that crash, abort or hang on some malformed files (DevIL, and OpenCV's
// Radiance reader) run in a process of their own, the decoder program, which hands the
// image back through a pipe: a decoder that fails costs an empty image instead of the
// program. The program is started afresh (posix_spawn of its file), not forked from this
// process: a forked copy would inherit every lock that another thread of this process
// holds at that moment (a stdio stream, a library's mutex) held for good, and wait on it
// until the time limit.
enum class Decoder { radiance, devil };

// The decoder program's file name. It is looked for beside the running program, then, as
// installed, in ../libexec/tessaline/ from there.
extern const char* const decoderProgramName;

// The argument that names decoder to the decoder program.
const char* decoderArgument(Decoder decoder);

// Decodes path with decoder in the decoder program; the image, or an empty image with the
// reason when the program is missing, failed, or was still busy after timeLimit (it is
// then killed). The program writes nothing on this process's standard output: what its
// libraries print goes to standard error.
LoadedImage decodeInDecoderProgram(Decoder decoder, const std::string& path, std::chrono::milliseconds timeLimit);

} // namespace tl
