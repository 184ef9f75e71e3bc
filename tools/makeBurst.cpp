#include "tools/BurstFiles.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

using namespace tl;

// makeBurst FOLDER [FRAMES [WIDTH HEIGHT]]: writes a tagged burst of a synthetic scene
// with a rolling ball into FOLDER (created when missing) and prints the frame paths.
int main(int argc, char** argv) {
    if (argc != 2 && argc != 3 && argc != 5) {
        std::fputs("usage: makeBurst FOLDER [FRAMES [WIDTH HEIGHT]]\n", stderr);
        return 1;
    }
    const int frames = argc > 2 ? std::atoi(argv[2]) : 5;
    const cv::Size size = argc > 4 ? cv::Size(std::atoi(argv[3]), std::atoi(argv[4])) : cv::Size(1200, 800);
    if (frames < 1 || frames > 99 || size.width < 64 || size.height < 64 || size.width > 20000 ||
        size.height > 20000) {
        std::fputs("makeBurst: 1 to 99 frames of 64 to 20000 pixels a side\n", stderr);
        return 1;
    }
    std::error_code error;
    std::filesystem::create_directories(argv[1], error);
    const auto paths = writeBurst(argv[1], size, frames, true);
    if (paths.empty()) {
        std::fprintf(stderr, "makeBurst: cannot write the frames into %s\n", argv[1]);
        return 1;
    }
    for (const auto& path : paths) std::puts(path.c_str());
    return 0;
}
