#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tl {

class WindowStatistics;

// Exhaustive least-squared-difference search of an 8-bit patch over every placement in
// an 8-bit window, in exact integers.
//
// Pixels are interleaved: a row of the patch is side * channels bytes, a row of the
// window windowCols * channels bytes. Steps are in bytes.
struct PatchSearch {
    const uint8_t* patch;
    size_t patchStep;
    const uint8_t* window;
    size_t windowStep;
    int side;
    int channels;
    int windowRows, windowCols;  // each at least side
    // The window's statistics (for squares of side pixels), when the caller has them for
    // a rectangle that holds the window, with the window's top-left corner at
    // (statisticsRow, statisticsColumn) in it; otherwise the search computes its own.
    const WindowStatistics* statistics = nullptr;
    int statisticsRow = 0, statisticsColumn = 0;
};

// A placement's top-left corner in the window, and its sum of squared differences.
struct Placement {
    int row = 0, column = 0;
    long long score = 0;
};

// The placement with the smallest sum of squared differences; among equal sums the first
// in row-major order. The candidates (placements inside the window) are tried first:
// one close to the best lets most others be ruled out early. They change how long the
// search takes, never its result.
Placement searchWindow(const PatchSearch& search, std::span<const Placement> candidates);

// searchWindow for each of several searches over the same rows of shared statistics
// (equal windowRows and statisticsRow), such as the windows of neighbouring patches of a
// row: their bands of placement rows are taken in turn, search after search, so that
// each band's statistics are still in cache for the next search. homes holds each
// search's placement of the patch's own place (it may lie outside the window); at every
// band, each search but the first tries the best placement of the one before it so far,
// at the same displacement from home. Every result is searchWindow's for its search and
// candidates.
void searchWindows(std::span<const PatchSearch> searches, std::span<const std::span<const Placement>> candidates,
                   std::span<const Placement> homes, std::span<Placement> results);

} // namespace tl
