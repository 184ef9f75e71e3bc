#include "extract/ExtractArguments.hpp"

#include "cli/CallMode.hpp"
#include "cli/NumberText.hpp"

namespace tl {

namespace {

constexpr int requiredPositions = 9, mostPositions = 10;

bool wholeNumbersAtTwoToFour(int argc, const char* const* argv) {
    if (argc - 1 < 4) return false;
    for (int position : {2, 3, 4})
        if (!wholeNumber(argv[position])) return false;
    return true;
}

// Why argv is not a whole call by position; empty when it is one.
std::string shapeProblem(int argc, const char* const* argv) {
    const int given = argc - 1;
    if (given < requiredPositions || given > mostPositions)
        return "a call by position has 9 or 10 positions, this one has " + std::to_string(given) + " arguments";
    const char* const names[] = {"", "", "START", "END", "DENOMINATOR"};
    for (int position : {2, 3, 4})
        if (!wholeNumber(argv[position]))
            return "position " + std::to_string(position) + " (" + names[position] + ") must be a whole number, not '" +
                   argv[position] + "'";
    return "";
}

int wholeAt(const char* const* argv, int position) { return clampedToInt(*wholeNumber(argv[position])); }

} // namespace

bool isPositionalExtractCall(int argc, const char* const* argv) {
    if (holdsOutputOption(argc, argv)) return false;
    return wholeNumbersAtTwoToFour(argc, argv) || (argc >= 2 && beginsLikeNumber(argv[1]));
}

std::variant<ExtractArguments, std::string> parseExtractArguments(int argc, const char* const* argv) {
    if (std::string problem = shapeProblem(argc, argv); !problem.empty()) return problem;
    ExtractArguments a;
    a.startNumerator = wholeAt(argv, 2);
    a.endNumerator = wholeAt(argv, 3);
    a.denominator = wholeAt(argv, 4);
    a.videoPath = argv[5];
    a.outputFolder = argv[6];
    a.baseName = argv[7];
    a.extension = argv[8];
    a.listPath = argv[9];
    if (argc - 1 == mostPositions) a.applicationFolder = argv[10];
    return a;
}

} // namespace tl
