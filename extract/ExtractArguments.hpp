#pragma once

#include <optional>
#include <string>

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

// Reads argv as the front end passes it (argv[0] is the program). Fewer than nine
// positions give nothing: the run cannot name its files without all of them.
std::optional<ExtractArguments> parseExtractArguments(int argc, const char* const* argv);

// Reads a whole number the way atoi does (leading blanks, optional sign, digits, the
// rest ignored, no number gives 0), but saturates at the int range instead of
// overflowing.
int readWholeNumber(const char* text);
