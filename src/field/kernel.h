#pragma once

// The field pass's kernel, written once over the lane width W. It is compiled in two units: the
// field pass's own, for one and two lanes, and kernel_fours.cpp for four, which on x86-64 is
// built for AVX and called only where the processor has it. Everything here but PreparedBall,
// RowStretch and addInFours has internal linkage, so that no code built for AVX is ever shared
// with the rest.

#include <cmath>
#include <cstddef>

#include "field/field.h"
#include "field/simd.h"

// What the field pass needs of one enabled ball, worked out once per pass.
struct PreparedBall {
    double x, y, z;     // centre
    double outside;     // least squared distance whose square root exceeds the radius
    double r2, r4, r6;  // powers of the radius
};

// Points of one row of the grid for the kernel: `count` points from `z` along the axis, whose
// sums go to `values`, and the balls that may reach the row with dx^2 + dy^2 from each centre.
struct RowStretch {
    const PreparedBall* balls[kBallCount];
    double across[kBallCount];  // dx*dx + dy*dy of the row from each ball's centre
    int ballCount;
    const float* z;
    GridPoint* values;
    std::size_t count;
};

// The kernel on four lanes: points [0, count - count % 4) as addInLanes<4> below.
std::size_t addInFours(const RowStretch& row);

namespace {

// Coefficients of the fall-off polynomial, as six-decimal values (not 4/9, 17/9, 22/9).
constexpr double kSixthPower = 0.444444;
constexpr double kFourthPower = 1.888889;
constexpr double kSecondPower = 2.444444;

// The fall-off inside the radius: each power of d over the same power of r, terms combined in
// this order. The single-ball function goes through it and the kernel does the same steps.
inline double fallOff(double d, double r2, double r4, double r6) {
    const double d2 = d * d;
    const double d4 = d2 * d2;
    const double d6 = d4 * d2;
    return kFourthPower * (d4 / r4) - kSixthPower * (d6 / r6) - kSecondPower * (d2 / r2) + 1.0;
}

// Sets the values of the row's points [p, p + W) to the sums of the balls' contributions, for
// every whole W from `first`; returns the first point not done. Each lane does the plain
// function's operations in its order, so the results are the same bits for every W: the squared
// distance is (dx*dx + dy*dy) + dz*dz, and a lane beyond the radius adds +0.0, which changes no
// sum (sums are never -0.0).
template <int W>
inline std::size_t addInLanes(const RowStretch& row, std::size_t first) {
    using Values = typename Lanes<W>::Values;
    using Mask = typename Lanes<W>::Mask;
    std::size_t p = first;
    for (; p + W <= row.count; p += W) {
        const Values z = widen<W>(row.z + p);
        Values value = {};
        for (int b = 0; b < row.ballCount; ++b) {
            const PreparedBall& ball = *row.balls[b];
            const Values dz = z - ball.z;
            const Values s = row.across[b] + dz * dz;
            // Lanes at or beyond the bound (see outsideBound); NaN is not, and goes on to the
            // formula as in the plain function.
            const Mask outside = s >= ball.outside;
            if (allLanes<W>(outside)) continue;
            Values d;
            for (int l = 0; l < W; ++l)
                d[l] = std::sqrt(s[l]);
            const Values d2 = d * d;
            const Values d4 = d2 * d2;
            const Values d6 = d4 * d2;
            const Values f = kFourthPower * (d4 / ball.r4) - kSixthPower * (d6 / ball.r6) -
                             kSecondPower * (d2 / ball.r2) + 1.0;
            value += (Values)(~outside & (Mask)f);
        }
        for (int l = 0; l < W; ++l)
            row.values[p + l].value = value[l];
    }
    return p;
}

}  // namespace
