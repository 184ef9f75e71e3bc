#include "fusion/LightNormalisation.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace tl {

namespace {

// Eight lanes: the compiler splits them into registers, four of two lanes with SSE2 (which
// every x86-64 processor has) or two of four with AVX2, and the independent chains of
// arithmetic keep the processor's units busy while each waits for its previous step.
constexpr int lanes = 8;
typedef double Doubles __attribute__((vector_size(8 * lanes)));
typedef std::uint64_t Words __attribute__((vector_size(8 * lanes)));
typedef float Floats __attribute__((vector_size(4 * lanes)));
// The compiler warns that functions returning such vectors do so differently on
// processors with wider registers. All of them are inlined into this file's entries; no
// vector crosses a real call.
#pragma GCC diagnostic ignored "-Wpsabi"

constexpr double displayExponent = 0.45454545454545453;  // 1 / 2.2
constexpr double ln2 = 0x1.62e42fefa39efp-1;
// Below this the result is not a normal float, whose rounding the check below assumes.
constexpr double smallestApproximated = 0x1p-256;

// How the approximation works, and why its relative error stays below 2^-40.
// x = 2^k * z with z in [sqrt(1/2), sqrt(2)), so x^c = 2^t with
//   t = c * k + c * log2(z),   log2(z) = (2 / ln 2) * atanh(s),   s = (z - 1) / (z + 1),
// |s| <= 0.1716, s^2 <= 0.02944. The atanh series cut after s^15 misses at most a share
// s^16 / (17 (1 - s^2)) < 2^-44.7 of log2(z), and c * log2(z) is at most 0.23: 2^-46.9 in
// t. Computing s and the series rounds a few times by 2^-53 of that 0.23. c * k
// (|c * k| < 128) and the sum t each round by at most 2^-47. So t is off by less than
// 2^-45.3, and 2^t by a share 2^-45.8.
// 2^t = 2^n * 2^f with n the nearest integer to t, f = t - n exact and |f| <= 1/2; the
// Taylor series of e^(f ln 2) cut after degree 11 misses less than 2^-46.2 of 2^f, and
// its Horner evaluation rounds twelve times on terms that sum to less than 1.5: below
// 2^-48. 2^n is added to the exponent bits exactly. In all less than 2^-44.5; the bound
// of 2^-40 leaves a factor 20 for what this estimate overlooks. (The largest error
// measured over twenty million arguments is 2^-45.7.)
constexpr std::array<double, 8> logCoefficients = [] {
    std::array<double, 8> c{};
    for (int j = 0; j < 8; ++j) c[j] = 2 * displayExponent / ln2 / (2 * j + 1);
    return c;
}();

constexpr std::array<double, 12> expCoefficients = [] {
    std::array<double, 12> c{};
    c[0] = 1;
    for (int n = 1; n < 12; ++n) c[n] = c[n - 1] * ln2 / n;
    return c;
}();

// c * log2(x) for normal positive x.
[[gnu::always_inline]] inline Doubles scaledLog2(const Doubles& x) {
    constexpr std::uint64_t sqrtHalfBits = 0x3fe6a09e667f3bcd;
    constexpr std::uint64_t exponentOne = 1ull << 52;
    const Words bits = std::bit_cast<Words>(x);
    // k + 1024, computed without a signed shift, which SSE2 lacks for 64-bit lanes.
    const Words biasedK = (bits - sqrtHalfBits + 1024 * exponentOne) >> 52;
    const Doubles z = std::bit_cast<Doubles>(bits - (biasedK - 1024) * exponentOne);
    const Doubles k = std::bit_cast<Doubles>(biasedK | 0x4330000000000000) - (0x1p52 + 1024);
    const Doubles s = (z - 1.0) / (z + 1.0);
    const Doubles w = s * s;
    Doubles series = Doubles{} + logCoefficients[7];
#pragma GCC unroll 8
    for (int j = 6; j >= 0; --j) series = series * w + logCoefficients[j];
    return k * displayExponent + s * series;
}

// 2^t for t in [-117, 1].
[[gnu::always_inline]] inline Doubles power2(const Doubles& t) {
    // Adding 1.5 * 2^52 rounds t to the nearest integer n, which then sits in the low
    // bits of the sum.
    constexpr double roundingShift = 0x1.8p52;
    const Doubles shifted = t + roundingShift;
    const Doubles f = t - (shifted - roundingShift);
    Doubles p = Doubles{} + expCoefficients[11];
#pragma GCC unroll 12
    for (int n = 10; n >= 0; --n) p = p * f + expCoefficients[n];
    return std::bit_cast<Doubles>(std::bit_cast<Words>(p) + (std::bit_cast<Words>(shifted) << 52));
}

[[gnu::always_inline]] inline Doubles approximatePower(const Doubles& x) { return power2(scaledLog2(x)); }

// All ones in the lanes where 0 <= value <= top as unsigned numbers, zero elsewhere.
// Written with subtractions and shifts only: SSE2 has no comparison of 64-bit integers.
[[gnu::always_inline]] inline Words atMost(const Words& value, std::uint64_t top) {
    return Words{} - (((value - (top + 1)) & ~value) >> 63);
}

// Lanes whose approximation y lies too close to a midpoint between two floats: there the
// exact power may round to the other float. A double rounds to float by its low 29
// mantissa bits, and 2^28 is the midpoint. The approximation and std::pow (within
// 2^-52) differ by less than 2^-39.9 relative, less than 2^14.1 steps of the last bit
// even across a power of two; 2^15 steps is a safe margin. Gives all ones in a lane that
// is near, zero elsewhere.
[[gnu::always_inline]] inline Words nearFloatMidpoint(const Doubles& y) {
    constexpr std::uint64_t margin = 1 << 15;
    const Words fromStart = (std::bit_cast<Words>(y) & 0x1fffffff) - ((1 << 28) - margin);
    return atMost(fromStart, 2 * margin);
}

float exactLight(double sum, double largest) {
    return static_cast<float>(std::pow(sum / largest, displayExponent));
}

// One block of lanes elements; returns how many went to std::pow.
[[gnu::always_inline]] inline std::size_t normaliseBlock(const double* sum, float* light, double largest) {
    constexpr std::uint64_t smallestBits = std::bit_cast<std::uint64_t>(smallestApproximated);
    constexpr std::uint64_t oneBits = std::bit_cast<std::uint64_t>(1.0);
    Doubles x;
    std::memcpy(&x, sum, sizeof x);
    x = x / largest;
    // Exact zeros are common (black pixels) and give 0. Negative values (the sign bit
    // makes their bits huge), NaN, tiny values and values above 1 (which do not occur)
    // fall outside the approximation. The bits of positive doubles grow with their value.
    const Words bits = std::bit_cast<Words>(x);
    const Words zero = atMost(bits, 0);
    const Words inRange = atMost(bits - smallestBits, oneBits - smallestBits);
    const Doubles y = std::bit_cast<Doubles>(std::bit_cast<Words>(approximatePower(x)) & ~zero);
    const Words unsettled = ~(zero | inRange) | nearFloatMidpoint(y);
    const Floats rounded = __builtin_convertvector(y, Floats);
    std::memcpy(light, &rounded, sizeof rounded);
    Words any = unsettled;
#pragma GCC unroll 8
    for (int lane = 1; lane < lanes; ++lane) any[0] |= unsettled[lane];
    if (any[0] == 0) return 0;
    std::size_t exact = 0;
    for (int lane = 0; lane < lanes; ++lane) {
        if (!unsettled[lane]) continue;
        light[lane] = exactLight(sum[lane], largest);
        ++exact;
    }
    return exact;
}

// The whole run, and the approximation alone, as the entries call them.
[[gnu::always_inline]] inline std::size_t normaliseRun(const double* sum, float* light, std::size_t count,
                                                       double largest) {
    // Sums are asked for 1 KiB ahead: on an accumulator aligned to 64 bytes, as OpenCV
    // aligns its buffers, the processor's own prefetching alone leaves the loop waiting on
    // memory (bench/benchMerge shows the difference).
    constexpr std::size_t ahead = 128;
    std::size_t exact = 0, i = 0;
    for (; i + lanes <= count; i += lanes) {
        __builtin_prefetch(sum + std::min(i + ahead, count - 1));
        exact += normaliseBlock(sum + i, light + i, largest);
    }
    for (; i < count; ++i, ++exact) light[i] = exactLight(sum[i], largest);
    return exact;
}

[[gnu::always_inline]] inline double approximateOne(double x) { return approximatePower(Doubles{} + x)[0]; }

// Both are built twice, as the header says. The second build's rounding differs from the
// first's far below the error bound, and the floats come out the same. The build is
// chosen at run time rather than by the loader (target_clones), which would choose
// before a sanitizer's runtime is ready.
std::size_t normaliseRunPlain(const double* sum, float* light, std::size_t count, double largest) {
    return normaliseRun(sum, light, count, largest);
}
double approximateOnePlain(double x) { return approximateOne(x); }

#if defined(__x86_64__)
[[gnu::target("arch=x86-64-v3")]] std::size_t normaliseRunWide(const double* sum, float* light,
                                                                std::size_t count, double largest) {
    return normaliseRun(sum, light, count, largest);
}
[[gnu::target("arch=x86-64-v3")]] double approximateOneWide(double x) { return approximateOne(x); }
#endif

} // namespace

VectorBuild widestVectorBuild() {
#if defined(__x86_64__)
    static const VectorBuild widest = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("x86-64-v3") ? VectorBuild::wide : VectorBuild::plain;
    }();
    return widest;
#else
    return VectorBuild::plain;
#endif
}

std::size_t normaliseLight(const double* sum, float* light, std::size_t count, double largest,
                           VectorBuild build) {
#if defined(__x86_64__)
    if (build == VectorBuild::wide) return normaliseRunWide(sum, light, count, largest);
#endif
    return normaliseRunPlain(sum, light, count, largest);
}

double approximateDisplayPower(double x, VectorBuild build) {
#if defined(__x86_64__)
    if (build == VectorBuild::wide) return approximateOneWide(x);
#endif
    return approximateOnePlain(x);
}

} // namespace tl
