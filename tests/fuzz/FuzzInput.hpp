#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tl {

// How the fuzzer's bytes become an image file: the first byte chooses the file name's
// extension (the loader picks its decoder by it, and so does DevIL), the rest is the
// file's content. The corpus in tests/fuzz/corpus is stored in this form.
struct FuzzFile {
    std::string extension;
    std::string content;
};

FuzzFile fuzzFile(const std::uint8_t* data, std::size_t size);

// The first byte that selects extension, for making corpus entries.
std::uint8_t fuzzExtensionByte(const std::string& extension);

} // namespace tl
