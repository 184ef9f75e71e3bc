#pragma once

#include <optional>

namespace tl {

// How a photograph was exposed, as its EXIF tags tell; each value only when the file
// carries it.
struct CaptureSettings {
    std::optional<double> exposureTime;  // seconds
    std::optional<double> fNumber;
    std::optional<double> iso;
};

} // namespace tl
