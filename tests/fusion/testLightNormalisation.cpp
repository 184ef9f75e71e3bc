#include "fusion/LightNormalisation.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace tl;

namespace {

constexpr double displayExponent = 1 / 2.2;

float formulaLight(double sum, double largest) {
    return static_cast<float>(std::pow(sum / largest, displayExponent));
}

// Every build of the vector code this processor can run; each test runs them all.
std::vector<VectorBuild> runnableBuilds() {
    if (widestVectorBuild() == VectorBuild::wide) return {VectorBuild::plain, VectorBuild::wide};
    return {VectorBuild::plain};
}

const char* nameOf(VectorBuild build) { return build == VectorBuild::wide ? "wide build" : "plain build"; }

// Index of the first element that differs from the formula in its bits (NaN payloads
// included), or -1.
long firstDifference(VectorBuild build, const std::vector<double>& sums, double largest, std::size_t& exact) {
    std::vector<float> light(sums.size(), -7.f);
    exact = normaliseLight(sums.data(), light.data(), sums.size(), largest, build);
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const float expected = formulaLight(sums[i], largest);
        if (std::memcmp(&expected, &light[i], sizeof expected) != 0) return static_cast<long>(i);
    }
    return -1;
}

std::string describe(const std::vector<double>& sums, double largest, long at) {
    if (at < 0) return "all equal";
    char text[160];
    std::snprintf(text, sizeof text, "element %ld: sum %a, largest %a, formula %a", at, sums[at], largest,
                  static_cast<double>(formulaLight(sums[at], largest)));
    return text;
}

// The error bound on which the exactness rests, checked against std::pow (itself within
// 2^-52) over the whole range: log-uniform samples, the ends, powers of two and the
// place where the reduction of the argument switches from one power of two to the next.
TEST(LightNormalisation, ApproximationStaysWithinItsErrorBound) {
    std::vector<double> xs{0x1p-256, 0.5, 0x1p-100};
    for (double edge : {1.0, 0x1.6a09e667f3bcdp-1, 0x1.6a09e667f3bcdp-40, 0x1.6a09e667f3bcdp-256}) {
        double below = edge, above = edge;
        for (int step = 0; step < 8; ++step) {
            xs.push_back(below = std::nextafter(below, 0.0));
            xs.push_back(above);
            above = std::nextafter(above, 2.0);
        }
    }
    std::mt19937_64 random(5);
    std::uniform_real_distribution<double> exponent(-256, 0);
    for (int i = 0; i < 100000; ++i) xs.push_back(std::exp2(exponent(random)));
    for (VectorBuild build : runnableBuilds()) {
        double worst = 0, worstAt = 0;
        for (double x : xs) {
            const double error = std::abs(approximateDisplayPower(x, build) / std::pow(x, displayExponent) - 1);
            if (error > worst) worst = error, worstAt = x;
        }
        EXPECT_LE(worst, displayPowerErrorBound - 0x1p-52) << nameOf(build) << " at x = " << std::hexfloat << worstAt;
    }
}

// Where the exact power lies next to the midpoint between two floats, the approximation
// cannot tell which way it rounds: every such element must go to std::pow. Sums around
// x = m^2.2 for midpoints m across the float range, the nearest few hundred doubles (all
// of them settled by std::pow) and a wider, sparser neighbourhood that crosses the edge
// of the near zone. Powers of two among the floats have a midpoint below them at half
// the distance; below 2^-126 the floats thin out and their midpoints are odd multiples
// of 2^-150.
TEST(LightNormalisation, ElementsNextToFloatMidpointsAreExact) {
    std::mt19937_64 random(11);
    std::uniform_real_distribution<double> exponent(-110, 0);
    std::vector<double> midpoints;
    for (int m = 0; m < 300; ++m) {
        const float f = static_cast<float>(std::exp2(exponent(random)));
        midpoints.push_back((static_cast<double>(f) + std::nextafter(f, 2.f)) / 2);
    }
    for (int e = -110; e <= 0; e += 10) {
        const float f = std::ldexp(1.f, e);
        midpoints.push_back((static_cast<double>(f) + std::nextafter(f, 0.f)) / 2);
    }
    for (double odd : {1.0, 3.0, 1001.0, 0x1p23 - 1, 0x1p23 + 1})
        midpoints.push_back(std::ldexp(odd, -150));
    std::vector<double> near, wider;
    for (double midpoint : midpoints) {
        const double centre = std::pow(midpoint, 2.2);
        double below = centre, above = centre;
        for (int step = 0; step < 64; ++step) {
            near.push_back(below = std::nextafter(below, 0.0));
            near.push_back(above = std::nextafter(above, 2.0));
        }
        const double spacing = std::nextafter(centre, 2.0) - centre;
        for (int step = -64; step <= 64; ++step) wider.push_back(centre + step * 2048 * spacing);
    }
    for (VectorBuild build : runnableBuilds()) {
        std::size_t exact = 0;
        long at = firstDifference(build, near, 1.0, exact);
        EXPECT_EQ(at, -1) << nameOf(build) << ", " << describe(near, 1.0, at);
        EXPECT_EQ(exact, near.size()) << nameOf(build);
        at = firstDifference(build, wider, 1.0, exact);
        EXPECT_EQ(at, -1) << nameOf(build) << ", " << describe(wider, 1.0, at);
        EXPECT_GT(exact, 0u) << nameOf(build);
        EXPECT_LT(exact, wider.size()) << nameOf(build);
    }
}

// Sums as a merge makes them, black pixels among them, with their own largest: the same
// bits as the formula, and almost all of them from the approximation.
TEST(LightNormalisation, RandomSumsMatchTheFormulaMostlyWithoutStdPow) {
    std::mt19937_64 random(3);
    std::uniform_real_distribution<double> value(0, 1.4e6);
    std::vector<double> sums(200003);
    for (double& s : sums) s = value(random) < 1e5 ? 0.0 : value(random);
    const double largest = 1.4e6;
    for (VectorBuild build : runnableBuilds()) {
        std::size_t exact = 0;
        const long at = firstDifference(build, sums, largest, exact);
        EXPECT_EQ(at, -1) << nameOf(build) << ", " << describe(sums, largest, at);
        EXPECT_LT(exact, sums.size() / 1000) << nameOf(build);
    }
}

// Values the approximation does not cover, each at every position of a block and in
// the tail, and quotients with a zero, infinite or NaN largest.
TEST(LightNormalisation, ValuesOutsideTheApproximationFollowTheFormula) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0,     -0.0,        -1.0,         nan,    infinity, -infinity,
                               0x1p-1074, 0x1p-1030, 0x1p-257,    0x1.fffffffffffffp-257, 3.0,
                               std::numeric_limits<double>::max()};
    std::size_t exact = 0;
    for (VectorBuild build : runnableBuilds()) {
        for (double special : specials)
            for (std::size_t count : {1u, 7u, 8u, 13u})
                for (std::size_t position = 0; position < count; ++position) {
                    std::vector<double> sums(count, 0.25);
                    sums[position] = special;
                    const long at = firstDifference(build, sums, 1.0, exact);
                    ASSERT_EQ(at, -1) << nameOf(build) << ", " << describe(sums, 1.0, at);
                }
        const std::vector<double> sums{0.0, 1.0, 2.5, -3.0, nan, infinity, 1e300, 0x1p-1074, 5.0};
        for (double largest : {0.0, -0.0, infinity, nan, 0x1p-1074, 2.5}) {
            const long at = firstDifference(build, sums, largest, exact);
            EXPECT_EQ(at, -1) << nameOf(build) << ", " << describe(sums, largest, at);
        }
    }
}

} // namespace
