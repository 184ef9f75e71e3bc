#pragma once

#include <utility>
#include <vector>

// How the codes of a camera's integer images become linear light: one curve for every
// channel, kept at 256 knots over the code range (knot k stands for the code k / 255 of the
// way from 0 to the top), with light 0 at code 0 and, for the standard curve, light 1 at
// the top code. Light between knots is interpolated linearly. Float images are linear and go without one.
class CameraResponse {
public:
    // sRGB decoding: what a camera's JPEG is taken for when its frames tell nothing better
    // (a burst of equal exposures, or a bracket too narrow to fit a curve).
    static CameraResponse standard();

    // The curve whose log2 light at the knots is log2Light (256 values, made increasing),
    // scaled so that the middle code has the standard curve's light. Below firstTrusted,
    // where the frames told nothing, the light falls straight to 0 at code 0.
    static CameraResponse fromLogKnots(const std::vector<double>& log2Light, int firstTrusted);

    // Linear light of code u, in knot units (0 to 255, fractions allowed).
    double light(double u) const;
    // The code in knot units whose light is light (the curve inverted), clamped to 0..255.
    double code(double light) const;
    // The light of every code of an 8-bit (256 entries) or 16-bit (65536 entries) image.
    std::vector<float> table(int depth) const;
    // Whether the curve was fitted to the frames rather than assumed.
    bool fitted() const { return isFitted; }

private:
    CameraResponse(std::vector<double> knots, bool fitted) : knots(std::move(knots)), isFitted(fitted) {}
    std::vector<double> knots;  // light at the 256 knots, increasing from 0 to 1
    bool isFitted;
};
