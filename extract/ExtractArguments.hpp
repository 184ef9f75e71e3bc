#pragma once

#include <optional>
#include <string>
#include <variant>

namespace tl {

// The frame extractor's positional command line:
//   1 ignored, 2 start numerator, 3 end numerator, 4 denominator, 5 video path,
//   6 output folder, 7 base name, 8 extension, 9 list file path,
//   10 (optional) application folder.
struct ExtractArguments {
    int startNumerator = 0;
    int endNumerator = 0;
    int denominator = 0;
    std::string videoPath;
    std::string outputFolder;
    std::string baseName;
    std::string extension;
    std::string listPath;
    std::optional<std::string> applicationFolder;
};

// Whether argv asks to be read by position: it names no output option, and its second
// to fourth arguments are whole numbers or its first begins like a number (and is not a
// file). Any other
// call is read by name.
bool isPositionalExtractCall(int argc, const char* const* argv);

// Reads the positions of argv (argv[0] is the program): nine or ten of them, the second
// to fourth whole numbers as a whole. Returns the arguments, or why the call cannot be
// read.
std::variant<ExtractArguments, std::string> parseExtractArguments(int argc, const char* const* argv);

} // namespace tl
