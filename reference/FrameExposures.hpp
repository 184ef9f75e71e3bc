#pragma once

#include "reference/CaptureSettings.hpp"

#include <optional>
#include <vector>

namespace tl {

// Where a frame's exposure was taken from.
enum class ExposureSource {
    given,    // the caller's list (--ev)
    exif,     // the files' capture settings, confirmed by the images
    images,   // the images themselves: the capture settings were missing, absurd or wrong
    assumed,  // nothing told: taken as equal to the instant image's
};

// A frame's exposure in stops from the instant image's (positive: brighter), and what
// each witness said.
struct FrameExposure {
    double stops = 0;
    ExposureSource source = ExposureSource::assumed;
    std::optional<double> exifStops, imageStops;

    // The capture settings said something else than the images, which won.
    bool disputed() const { return source == ExposureSource::images && exifStops.has_value(); }
};

// The stops between two frames' capture settings: exposure time times ISO over the
// f-number squared, a ratio only where both frames carry the value. Nothing without an
// exposure time on both, or when a time is absurd (not above 0 or over an hour); an absurd
// f-number (outside 0.5 to 256) or ISO (outside 1 to 10^7) counts as missing. Within 0.06
// stops of a third of a stop the result is that third: cameras round their nominal
// shutter speeds (1/125 s is 2^-7 s).
std::optional<double> stopsBetween(const CaptureSettings& frame, const CaptureSettings& instant);

// Settles every frame's exposure: the given list when there is one (each value less the
// instant image's); otherwise the capture settings when the images confirm them
// (confirms), and the images where they do not or where there are no settings; equal to
// the instant image's where neither tells.
std::vector<FrameExposure> settleExposures(const std::vector<std::optional<double>>& exifStops,
                                           const std::vector<std::optional<double>>& imageStops,
                                           const std::optional<std::vector<double>>& given, int instant);

// Whether the images' estimate confirms the capture settings: within 0.3 stops, and 15 %
// of the gap more. Without trusted settings the images read through the standard curve
// tell a gap only as wide as that curve's contrast makes it, so the estimate's
// uncertainty grows with the gap; a gap the settings invent or hide is still caught.
bool confirms(double imageStops, double exifStops);

} // namespace tl
