#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

namespace tl {

// Checks of named option values, each giving a usage error that says what is wrong
// with the value. None of them writes anything.

// A finite number (the whole text: "12.5" but not "12.5%") of at least least.
CLI::Validator numberAtLeast(double least);

// A whole number of at least least that an int holds.
CLI::Validator wholeNumberAtLeast(long long least);

// A file that exists and is not a folder.
CLI::Validator existingFile();

// A folder that exists.
CLI::Validator existingFolder();

// A file name whose folder exists (the file itself may or may not).
CLI::Validator fileInExistingFolder();

// A file this user may write, or create in its folder, that is no folder, FIFO or device.
CLI::Validator writableTarget();

// An image file name whose extension one of the image writers takes at 8 bits per channel.
CLI::Validator writableImageName();

// The extensions as a usage error lists them: ".bmp .exr .hdr".
std::string extensionList(const std::vector<std::string>& extensions);

} // namespace tl
