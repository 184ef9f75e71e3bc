#pragma once

#include <utility>
#include <vector>

namespace tl {

// How the codes of a camera's integer images become linear light: one curve for every
// channel, or one per colour channel where the channels do not share one, each kept at 256
// knots over the code range (knot k stands for the code k / 255 of the way from 0 to the
// top), with light 0 at code 0 and, for the standard curve, light 1 at the top code. Light
// between knots is interpolated linearly. Float images are linear and go without one.
class CameraResponse {
public:
    // sRGB decoding: what a camera's JPEG is taken for when its frames tell nothing better
    // (a burst of equal exposures, or a bracket too narrow to fit a curve).
    static CameraResponse standard();

    // The curve whose log2 light at the knots is log2Light (256 values, made increasing),
    // scaled so that the middle code has the standard curve's light. Below firstTrusted,
    // where the frames told nothing, the light falls straight to 0 at code 0.
    static CameraResponse fromLogKnots(const std::vector<double>& log2Light, int firstTrusted);

    // One curve per channel: channel c reads through the single curve of curves[c]; a
    // channel beyond them (alpha) through the last.
    static CameraResponse perChannel(const std::vector<CameraResponse>& curves);

    // The curve of channel alone, as a response of one curve.
    CameraResponse ofChannel(int channel) const { return CameraResponse({knotsOf(channel)}, isFitted); }

    // Linear light of code u of channel, in knot units (0 to 255, fractions allowed).
    double light(double u, int channel) const;
    // The code in knot units whose light in channel is light (the curve inverted), clamped to 0..255.
    double code(double light, int channel) const;
    // The light of every code of channel of an 8-bit (256 entries) or 16-bit (65536 entries) image.
    std::vector<float> table(int depth, int channel) const;
    // Whether the curve was fitted to the frames rather than assumed.
    bool fitted() const { return isFitted; }
    // Whether the channels have curves of their own.
    bool separateChannels() const { return curves.size() > 1; }

private:
    CameraResponse(std::vector<std::vector<double>> curves, bool fitted) : curves(std::move(curves)), isFitted(fitted) {}
    const std::vector<double>& knotsOf(int channel) const;
    std::vector<std::vector<double>> curves;  // per channel, light at the 256 knots, increasing from 0
    bool isFitted;
};

} // namespace tl
