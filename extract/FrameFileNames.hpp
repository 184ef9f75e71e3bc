#pragma once

#include <cstdint>
#include <string>

namespace tl {

// Names the frame files of one extraction: output folder + "/" + base name + padding
// + number + "." + extension. The padding is "0"s that bring numbers below 10000 to
// the width of the planned frame count; numbers from 10000 on are never padded.
class FrameFileNames {
public:
    // One trailing "/" of outputFolder is dropped, so "out/" and "out" name the same files;
    // one leading "." of extension too, so ".png" and "png" name the same files.
    FrameFileNames(const std::string& outputFolder, const std::string& baseName,
                   std::string extension, std::int64_t plannedCount);

    // The path of the frame numbered number (1 for the first frame of the window).
    std::string name(std::int64_t number) const;

private:
    std::string prefix;
    std::string extension;
    int width;
};

// What is wrong with baseName as the name of frame files, empty when nothing is: a line end
// would break the line of each frame in the list file.
std::string baseNameProblem(const std::string& baseName);

// How many decimal digits value (>= 1) has.
int decimalDigits(std::int64_t value);

} // namespace tl
