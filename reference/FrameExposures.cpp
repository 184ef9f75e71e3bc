#include "reference/FrameExposures.hpp"

#include <cmath>

namespace tl {

namespace {

std::optional<double> sane(const std::optional<double>& value, double lowest, double highest) {
    if (value && *value >= lowest && *value <= highest) return value;
    return std::nullopt;
}

double ratioWhereKnown(const std::optional<double>& a, const std::optional<double>& b) {
    return a && b ? *a / *b : 1.0;
}

double nearThird(double stops) {
    const double third = std::round(stops * 3) / 3;
    return std::fabs(stops - third) <= 0.06 ? third : stops;
}

} // namespace

std::optional<double> stopsBetween(const CaptureSettings& frame, const CaptureSettings& instant) {
    const auto timeA = sane(frame.exposureTime, 1e-6, 3600), timeB = sane(instant.exposureTime, 1e-6, 3600);
    if (!timeA || !timeB) return std::nullopt;
    const double aperture = ratioWhereKnown(sane(instant.fNumber, 0.5, 256), sane(frame.fNumber, 0.5, 256));
    const double gain = ratioWhereKnown(sane(frame.iso, 1, 1e7), sane(instant.iso, 1, 1e7));
    return nearThird(std::log2(*timeA / *timeB * gain * aperture * aperture));
}

bool confirms(double imageStops, double exifStops) {
    return std::fabs(imageStops - exifStops) <= 0.3 + 0.15 * std::fabs(exifStops);
}

std::vector<FrameExposure> settleExposures(const std::vector<std::optional<double>>& exifStops,
                                           const std::vector<std::optional<double>>& imageStops,
                                           const std::optional<std::vector<double>>& given, int instant) {
    std::vector<FrameExposure> exposures(imageStops.size());
    for (std::size_t i = 0; i < exposures.size(); ++i) {
        FrameExposure& e = exposures[i];
        e.exifStops = i < exifStops.size() ? exifStops[i] : std::nullopt;
        e.imageStops = imageStops[i];
        if (given) {
            e.stops = (*given)[i] - (*given)[static_cast<std::size_t>(instant)];
            e.source = ExposureSource::given;
        } else if (e.exifStops && (!e.imageStops || confirms(*e.imageStops, *e.exifStops))) {
            e.stops = *e.exifStops;
            e.source = ExposureSource::exif;
        } else if (e.imageStops) {
            e.stops = *e.imageStops;
            e.source = ExposureSource::images;
        }
    }
    return exposures;
}

} // namespace tl
