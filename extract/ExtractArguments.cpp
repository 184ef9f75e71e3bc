#include "extract/ExtractArguments.hpp"

#include <algorithm>
#include <climits>
#include <cstdlib>

int readWholeNumber(const char* text) {
    // strtoll saturates at the long long range and sets errno instead of overflowing;
    // narrowing is then clamped explicitly.
    const long long value = std::strtoll(text, nullptr, 10);
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

std::optional<ExtractArguments> parseExtractArguments(int argc, const char* const* argv) {
    constexpr int requiredPositions = 9;
    if (argc - 1 < requiredPositions) return std::nullopt;
    ExtractArguments a;
    a.startNumerator = readWholeNumber(argv[2]);
    a.endNumerator = readWholeNumber(argv[3]);
    a.denominator = readWholeNumber(argv[4]);
    a.videoPath = argv[5];
    a.outputFolder = argv[6];
    a.baseName = argv[7];
    a.extension = argv[8];
    a.listPath = argv[9];
    if (argc - 1 > requiredPositions) a.applicationFolder = argv[10];
    return a;
}
