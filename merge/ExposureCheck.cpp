#include "merge/ExposureCheck.hpp"

#include "merge/ImageMedian.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace tl {

namespace {

constexpr double tolerableStops = 0.5;

// a / b when both are there, else 1: a setting only one image tells is taken as equal.
double ratioWhereKnown(const std::optional<double>& a, const std::optional<double>& b) {
    return a && b ? *a / *b : 1.0;
}

std::string signedStops(double stops) {
    char text[32];
    std::snprintf(text, sizeof text, "%+.1f EV", stops);
    return text;
}

// The paths and gaps as a list: "a (+2.0 EV)", "a (+2.0 EV) and b (-1.7 EV)",
// "a (...), b (...) and c (...)".
std::string namedList(const std::vector<UnequalExposure>& unequal, const std::vector<std::string>& paths) {
    std::string text;
    for (std::size_t i = 0; i < unequal.size(); ++i) {
        if (i > 0) text += i + 1 == unequal.size() ? " and " : ", ";
        text += paths[static_cast<std::size_t>(unequal[i].index)] + " (" + signedStops(unequal[i].stops) + ")";
    }
    return text;
}

int suggestedThreshold(const std::vector<UnequalExposure>& unequal) {
    double widest = 0;
    for (const UnequalExposure& u : unequal) widest = std::max(widest, std::fabs(u.stops));
    const int multipleOfFive = static_cast<int>(std::floor(thresholdForGap(widest) / 5) + 1) * 5;
    return std::min(multipleOfFive, 100);
}

} // namespace

std::optional<double> stopsFromInstant(const ExposureEvidence& exposure, const ExposureEvidence& instant) {
    const CaptureSettings& e = exposure.settings;
    const CaptureSettings& i = instant.settings;
    if (e.exposureTime && i.exposureTime) {
        const double aperture = ratioWhereKnown(i.fNumber, e.fNumber);
        const double light = *e.exposureTime / *i.exposureTime * ratioWhereKnown(e.iso, i.iso) * aperture * aperture;
        return std::log2(light);
    }
    if (exposure.median && instant.median && *exposure.median > 0 && *instant.median > 0)
        return std::log2(*exposure.median / *instant.median);
    return std::nullopt;
}

double thresholdForGap(double stops) { return 100 * (1 - std::exp2(-std::fabs(stops) / 2.2)); }

std::string unequalExposureWarning(const std::vector<UnequalExposure>& unequal,
                                   const std::vector<std::string>& paths, int instantIndex, WarningReader reader) {
    const std::string threshold = reader == WarningReader::namedOptions ? "--threshold" : "the ghost threshold";
    return namedList(unequal, paths) + (unequal.size() == 1 ? " is" : " are") +
           " exposed differently from the instant image " + paths[static_cast<std::size_t>(instantIndex)] +
           ". The ghost test compares pixel values, so the difference in brightness passes for movement and "
           "is patched over. Merge a burst of equal exposures, or raise " + threshold + " to " +
           std::to_string(suggestedThreshold(unequal)) + " or more.";
}

ExposureCheck::ExposureCheck(std::vector<std::string> paths, int instantIndex, float ghostThreshold,
                             WarningReader reader, const std::vector<CaptureSettings>& settings,
                             PassedOver passedOver)
    : paths(std::move(paths)), instantIndex(instantIndex), ghostThreshold(ghostThreshold), reader(reader),
      evidence(this->paths.size()), passedOver(std::move(passedOver)) {
    for (std::size_t i = 0; i < evidence.size() && i < settings.size(); ++i) evidence[i].settings = settings[i];
}

void ExposureCheck::noteImage(int index, const cv::Mat& image) {
    if (done || index < 0 || index >= static_cast<int>(evidence.size())) return;
    evidence[static_cast<std::size_t>(index)].median = linearMedian(image);
    warnWhenDecided();
}

void ExposureCheck::warnWhenDecided() {
    if (done) return;
    bool allDecided = true;
    const std::vector<UnequalExposure> unequal = unequalDecided(allDecided);
    if (allDecided) warn(unequal);
}

void ExposureCheck::finish() {
    if (done) return;
    bool allDecided = true;
    warn(unequalDecided(allDecided));
}

std::vector<UnequalExposure> ExposureCheck::unequalDecided(bool& allDecided) const {
    std::vector<UnequalExposure> unequal;
    const ExposureEvidence& instant = evidence[static_cast<std::size_t>(instantIndex)];
    for (int index = 0; index < static_cast<int>(evidence.size()); ++index) {
        if (index == instantIndex) continue;
        const std::optional<double> stops = stopsFromInstant(evidence[static_cast<std::size_t>(index)], instant);
        if (!stops) {
            allDecided = false;
            continue;
        }
        if (std::fabs(*stops) > tolerableStops && ghostThreshold < thresholdForGap(*stops))
            unequal.push_back({index, *stops});
    }
    return unequal;
}

void ExposureCheck::warn(const std::vector<UnequalExposure>& unequal) {
    done = true;
    if (!unequal.empty())
        passedOver({Failure::Code::exposuresUnequal, paths[static_cast<std::size_t>(unequal.front().index)],
                    unequalExposureWarning(unequal, paths, instantIndex, reader)});
}

} // namespace tl
