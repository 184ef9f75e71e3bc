#include "merge/MergeCommandLine.hpp"

#include "common/FindString.hpp"

#include <cstdlib>

std::optional<MergeSettings> parseMergeArguments(int argc, const char* const* argv) {
    constexpr int fixedPositions = 13;
    if (argc < fixedPositions + 1) return std::nullopt;
    const int count = std::atoi(argv[13]);
    if (count < 0 || argc - 1 - fixedPositions < count) return std::nullopt;

    MergeSettings s;
    s.ghostThreshold = static_cast<float>(std::atof(argv[1]));
    s.ghostingPower = static_cast<float>(std::atof(argv[2]));
    s.threads = std::atoi(argv[3]);
    if (s.threads < 2) s.threads = 1;
    s.align = std::atoi(argv[5]) == 1;
    s.tileSize = std::atoi(argv[7]);
    s.progressPath = argv[8];
    s.applicationFolder = argv[9];
    s.outputPath = argv[10];
    s.outputBits = std::atoi(argv[11]);
    s.instantPath = argv[12];
    s.exposurePaths.assign(argv + 14, argv + 14 + count);
    return s;
}

ImageList buildImageList(const MergeSettings& settings) {
    ImageList list;
    list.paths = settings.exposurePaths;
    const int count = static_cast<int>(list.paths.size());
    list.instantIndex = findString(settings.instantPath, list.paths.data(), count);
    if (list.instantIndex < 0) {
        list.paths.push_back(settings.instantPath);
        list.instantIndex = count;
    }
    return list;
}
