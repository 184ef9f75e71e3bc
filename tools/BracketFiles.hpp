#pragma once

#include "tools/BracketScene.hpp"

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace tl {

// What the capture settings of written frames say.
enum class BracketTags {
    none,   // no EXIF at all
    right,  // each frame's own exposure time (nominal, as a camera rounds it), f/8, the plan's ISO
    wrong,  // every frame tagged with the instant frame's time, as when tags were copied
};

// A bracket or burst of the generated scene: each frame's exposure in stops (equal ones
// make a burst) and which frame is the instant image.
struct BracketPlan {
    cv::Size size{320, 240};
    std::vector<double> stops{-2, 0, 2};
    int instant = 1;
    bool colour = true;
    int bits = 8;  // 8: JPEG files, 16: PNG files, 32: PFM files (linear)
    // The sensor's gain above ISO 100 in stops: a high-ISO burst, whose frames are as bright
    // at the same stops from fewer electrons, and so noisier.
    double gainStops = 0;
    BracketTags tags = BracketTags::right;
};

// The frames of the plan, exposed with their own noise.
std::vector<cv::Mat> bracketFrames(const BracketPlan& plan);

// Writes the frames into folder (which must exist) as frame1.jpg, frame2.jpg, ... (.png,
// .pfm) and tags JPEG files with the real exiftool as plan.tags asks. Returns the paths;
// empty when a frame could not be written.
std::vector<std::string> writeBracket(const std::string& folder, const BracketPlan& plan);

// What the merge should give: the radiance of the scene as the instant frame shows it,
// on its scale (its own exposure; 1 is where the instant frame clips). Float.
cv::Mat bracketTruth(const BracketPlan& plan);

// The nominal shutter speed a camera writes for exposure time seconds, as exiftool takes it
// ("1/500", "0.3", "2").
std::string nominalShutterSpeed(double seconds);

} // namespace tl
