#pragma once

#include <string>
#include <vector>

namespace tl {

// The exiftool to run: "<tool folder>exiftool" when that file exists and may be
// executed, otherwise "exiftool" looked up on PATH.
std::string exiftoolProgram();

// The argument that names path to exiftool, for every caller that hands it a file: a
// relative path that exiftool would take for something else (an option when it starts
// with "-", the argument file "@" itself, or a comment or blank line of the argument file
// that the kept-alive exiftool reads when it starts with "#", a space or a tab) is passed
// as "./path", which names the same file. Other paths are passed as they are.
std::string exiftoolFileArgument(const std::string& path);

// Whether exiftool can write tags into a file of this name, by its extension (any letter
// case). Of the formats the image writers make, exiftool 12.57 writes tags into JPEG, PNG,
// TIFF, WebP, JPEG 2000 and Photoshop files; it cannot write Radiance, OpenEXR, PFM, BMP,
// Sun raster, TGA, SGI, PCX, DDS or raw files (and says so on its standard error when asked
// to), and the portable any-maps (.pbm, .pgm, .ppm, .pnm) hold a comment but none of the
// copied tags.
bool exiftoolWritesTagsInto(const std::string& path);

// The arguments of one tag copy, without the program name: -q, -tagsfromfile, source,
// -keywords+=keyword, -Firmware=Tessaline, then -Orientation#=1 when the source is a
// camera raw file (its developed pixels are already upright), then the written path,
// both as exiftoolFileArgument gives them.
std::vector<std::string> exiftoolArguments(const std::string& source, const std::string& written,
                                           const std::string& keyword);

} // namespace tl
