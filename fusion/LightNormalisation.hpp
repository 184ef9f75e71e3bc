#pragma once

#include <cstddef>

namespace tl {

// The last step of the light image: every sum divided by the largest one and raised to
// the display exponent 1 / 2.2, stored as float.

// The vector code comes in two builds: plain, for any processor, and wide, for x86-64
// processors with AVX2 and fused multiply-add. By default the widest the processor has
// runs; either gives the same light image.
enum class VectorBuild { plain, wide };
VectorBuild widestVectorBuild();

// light[i] = float(std::pow(sum[i] / largest, 1 / 2.2)) for i in [0, count), bit for bit,
// for any largest (0, NaN and infinities included). Most elements take a fast vector
// approximation; the few whose float rounding it cannot settle take std::pow itself.
// Returns how many did.
std::size_t normaliseLight(const double* sum, float* light, std::size_t count, double largest,
                           VectorBuild build = widestVectorBuild());

// The approximation behind normaliseLight, for x in [2^-256, 1]; its relative error
// against the exact power stays below displayPowerErrorBound. Outside that range the
// value means nothing.
double approximateDisplayPower(double x, VectorBuild build = widestVectorBuild());

inline constexpr double displayPowerErrorBound = 0x1p-40;

} // namespace tl
