#include "merge/MergeCommandLine.hpp"

#include "cli/CallMode.hpp"
#include "cli/NumberText.hpp"
#include "common/FindString.hpp"
#include "common/TaskGroup.hpp"

#include <array>

namespace tl {

namespace {

constexpr int fixedPositions = 13;

const std::array<const char*, fixedPositions + 1> positionNames{
    "",        "GHOST_THRESHOLD", "GHOSTING_POWER", "THREADS", "UNUSED", "ALIGN",         "UNUSED",
    "TILE_SIZE", "PROGRESS_FILE", "APP_FOLDER",     "OUTPUT",  "BITS",   "INSTANT_IMAGE", "N"};

std::string positionName(int position) {
    return "position " + std::to_string(position) + " (" + positionNames[static_cast<std::size_t>(position)] + ")";
}

// Why the text at position is not the number it must be; empty when it is one.
std::string numberProblem(const char* const* argv, int position) {
    const std::string text = argv[position];
    const bool decimal = position <= 2;
    const bool isNumber = decimal ? isNumberArgument(text) : isNumberArgument(text) && wholeNumber(text).has_value();
    if (isNumber) return "";
    return positionName(position) + " must be a " + (decimal ? "number" : "whole number") + ", not '" + text + "'";
}

// Why argv is not a whole call by position; empty when it is one.
std::string shapeProblem(int argc, const char* const* argv) {
    const int given = argc - 1;
    if (given < fixedPositions)
        return "a call by position has 13 positions followed by N images, this one has " + std::to_string(given) +
               " arguments";
    for (int position : {1, 2, 3, 4, 5, 6, 7, 11, 13})
        if (std::string problem = numberProblem(argv, position); !problem.empty()) return problem;
    const long long count = *wholeNumber(argv[fixedPositions]);
    if (count != given - fixedPositions)
        return positionName(fixedPositions) + " says " + argv[fixedPositions] + " images follow, but " +
               std::to_string(given - fixedPositions) + " do";
    return "";
}

int wholeAt(const char* const* argv, int position) { return clampedToInt(*wholeNumber(argv[position])); }

float decimalAt(const char* const* argv, int position) { return clampedToFloat(*decimalNumber(argv[position])); }

} // namespace

bool isPositionalMergeCall(int argc, const char* const* argv) {
    return argc >= 2 && !holdsOutputOption(argc, argv) && beginsLikeNumber(argv[1]);
}

std::variant<MergeSettings, std::string> parseMergeArguments(int argc, const char* const* argv) {
    if (std::string problem = shapeProblem(argc, argv); !problem.empty()) return problem;
    MergeSettings s;
    s.ghostThreshold = decimalAt(argv, 1);
    s.ghostingPower = decimalAt(argv, 2);
    s.threads = cappedThreadCount(wholeAt(argv, 3));
    s.align = wholeAt(argv, 5) == 1;
    s.tileSize = wholeAt(argv, 7);
    s.progressPath = argv[8];
    s.applicationFolder = argv[9];
    s.outputPath = argv[10];
    s.outputBits = wholeAt(argv, 11);
    s.instantPath = argv[12];
    s.exposurePaths.assign(argv + fixedPositions + 1, argv + argc);
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

} // namespace tl
