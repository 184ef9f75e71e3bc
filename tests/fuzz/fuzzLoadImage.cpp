// libFuzzer entry: every input becomes one file on disk that loadImage must turn into a
// correct image or an empty one, without crashing, hanging or leaking memory or file
// descriptors.
#include "input/ImageLoader.hpp"
#include "tests/fuzz/FuzzInput.hpp"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

using namespace tl;

namespace {

// DevIL and the Radiance reader decode in the decoder program (DecoderProcess), a program
// of its own started with every signal at its default: their crashes on malformed files
// are expected and contained there, and libFuzzer's crash handler never sees them.
int openDescriptors() {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) count += !entry.path().empty();
    return count;
}

std::string scratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tl-fuzz-XXXXXX").string();
    if (!mkdtemp(pattern.data())) std::abort();
    return pattern;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = scratchFolder();
    const FuzzFile file = fuzzFile(data, size);
    const std::string path = folder + "/input." + file.extension;
    std::ofstream(path, std::ios::binary).write(file.content.data(), std::streamsize(file.content.size()));
    const int descriptorsBefore = openDescriptors();
    const cv::Mat image = loadImage(path).image;
    // A decoder that leaves its file open loses a descriptor per bad file, for good.
    if (openDescriptors() != descriptorsBefore) std::abort();
    // An image that came back must be whole: reading every row shows a bad buffer to ASan.
    volatile unsigned char sink = 0;
    for (int y = 0; y < image.rows; ++y) sink = sink ^ image.ptr<unsigned char>(y)[image.step[0] - 1];
    std::remove(path.c_str());
    return 0;
}
