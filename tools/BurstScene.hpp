#pragma once

#include <opencv2/core.hpp>

namespace tl {

// A synthetic but photograph-like scene for bursts: a sky brightening towards a low
// sun, hills, a house with a window, a tree, grass with fine texture, and a ball that
// rolls across the ground from frame to frame. Every frame carries its own sensor noise.
class BurstScene {
public:
    BurstScene(cv::Size size, int frameCount);

    // Frame index of the burst, 8-bit B, G, R. The same index always gives the same frame.
    cv::Mat frame(int index) const;

    // Where the ball's centre is in a frame, and its radius.
    cv::Point ballCentre(int index) const;
    int ballRadius() const;

private:
    cv::Mat background;  // the still part of the scene, without noise
    int frameCount;
};

} // namespace tl
