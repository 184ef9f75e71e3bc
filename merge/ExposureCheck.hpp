#pragma once

#include "common/Failure.hpp"
#include "merge/CaptureSettings.hpp"

#include <opencv2/core.hpp>

#include <optional>
#include <string>
#include <vector>

namespace tl {

// The ghost test compares an exposure's pixel values with the instant image's directly.
// Exposures of different brightness then differ almost everywhere, and the merge takes
// them for moving objects and refills them patch by patch. This check tells the user
// before that happens.

// What tells how bright one image of a merge is: its capture settings, and the median
// of its samples as linear light (linearMedian) once the run has loaded it.
struct ExposureEvidence {
    CaptureSettings settings;
    std::optional<double> median;
};

// How many stops brighter (positive) or darker the exposure is than the instant image:
// from the exposure times when both images carry one, together with the ISO ratio and
// the square of the aperture ratio where both carry those; otherwise from the medians
// when both are known; otherwise nothing.
std::optional<double> stopsFromInstant(const ExposureEvidence& exposure, const ExposureEvidence& instant);

// The ghost threshold (percent of the full scale) below which a brightness gap of stops
// alone can mark a pixel as a ghost: the largest difference the gap makes between two
// gamma-encoded values, 1 - 2^(-|stops| / 2.2), reached where the brighter one clips.
double thresholdForGap(double stops);

// An exposure that the ghost test would take for a moving scene.
struct UnequalExposure {
    int index;     // in the merge's image list
    double stops;  // from the instant image
};

// Who reads the warning: a person who named the options, or the front end's user (in
// the log), who sets the ghost threshold in its window.
enum class WarningReader { namedOptions, frontEnd };

// The warning for the given exposures (not empty), naming them and the instant image by
// their paths and saying what to do: merge a burst of equal exposures, or raise the
// threshold to a multiple of 5 above thresholdForGap of the largest gap.
std::string unequalExposureWarning(const std::vector<UnequalExposure>& unequal,
                                   const std::vector<std::string>& paths, int instantIndex, WarningReader reader);

// The check for one merge: exposures more than half a stop from the instant image whose
// gap the ghost threshold does not cover are handed to passedOver once, as one fault
// (Failure::Code::exposuresUnequal) that the merge command reports as a warning. The
// capture settings decide up front; exposures they leave open are decided by the medians
// of the images handed over while the run loads them.
class ExposureCheck {
public:
    ExposureCheck(std::vector<std::string> paths, int instantIndex, float ghostThreshold, WarningReader reader,
                  const std::vector<CaptureSettings>& settings, PassedOver passedOver);

    // Takes the median of the image at index of the list; warns when that decides the
    // last open exposure.
    void noteImage(int index, const cv::Mat& image);

    // Warns when every exposure is decided; the run calls it before it starts.
    void warnWhenDecided();

    // Warns about the exposures decided by the end of the run, unless done already.
    void finish();

private:
    std::vector<UnequalExposure> unequalDecided(bool& allDecided) const;
    void warn(const std::vector<UnequalExposure>& unequal);

    std::vector<std::string> paths;
    int instantIndex;
    float ghostThreshold;
    WarningReader reader;
    std::vector<ExposureEvidence> evidence;
    PassedOver passedOver;
    bool done = false;
};

} // namespace tl
