#pragma once

#include <opencv2/core.hpp>

namespace tl {

// A scene of known radiance for brackets and bursts with a moving object: a sky with a low
// sun, a lit facade with a bright window and a dark doorway, paving, and a striped object
// that crosses the frame from left to right, further between two frames than any default
// search radius. Radiance is the light that reaches a sensor at 0 stops: 1 is where it
// clips, the sun is far above, the doorway far below.
class BracketScene {
public:
    BracketScene(cv::Size size, int frameCount, bool colour);

    // The radiance with the object where frame index has it: float, 3 channels (B, G, R)
    // or 1 (grey).
    cv::Mat radiance(int index) const;
    // 255 where the object is in frame index, 0 elsewhere.
    cv::Mat objectMask(int index) const;
    cv::Point objectCentre(int index) const;
    int objectRadius() const;

private:
    cv::Mat background;  // float, the still part of the scene
    int frameCount;
};

// The camera of the generated frames: photon and read noise for a sensor with a full well
// of 4000 electrons and 3 electrons of read noise, clipping at 1, and a tone curve that is
// not a power law (an S-shaped contrast curve over the sRGB encoding: a toe in the shadows,
// a shoulder in the highlights). seed makes each frame's noise its own. gainStops raises the
// sensor's gain above ISO 100: the same light from 2^gainStops times fewer electrons.
// bits 8 or 16: the curve's codes (CV_8U or CV_16U); 32: the clipped linear light (CV_32F).
cv::Mat exposeFrame(const cv::Mat& radiance, double stops, int bits, unsigned seed, double gainStops = 0);

// The tone curve from linear light (0 to 1) to a code fraction (0 to 1).
double cameraCurve(double light);

} // namespace tl
