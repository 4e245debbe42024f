#pragma once

// The field pass's kernel, written once over the lane width W. It is compiled in two units: the
// field pass's own, for one and two lanes, and kernel_fours.cpp for four, which on x86-64 is
// built for AVX and called only where the processor has it. Everything here but BallReach and
// addInFours has internal linkage, so that no code built for AVX is ever shared with the rest.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "field/grid.h"

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __AVX__
#include <immintrin.h>
#endif

// What the field pass needs of one enabled ball, worked out once per pass.
struct BallReach {
    double x, y, z;     // centre
    double outside;     // least squared distance whose square root exceeds the radius
    double r2, r4, r6;  // powers of the radius
};

// The kernel on four lanes: points [0, count - count % 4) as addInLanes<4> below.
std::size_t addInFours(const BallReach* reach, int reachCount, bool fresh, GridPoint* points,
                       std::size_t count);

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

// W doubles side by side, and W lanes of all-ones or all-zeros bits, in the vector extensions
// of GCC and Clang: every operation works lane by lane, rounded as the scalar
// operation is, and compiles to the SIMD instructions of the target.
template <int W>
struct Lanes {
    typedef double Values __attribute__((vector_size(W * sizeof(double))));
    typedef std::int64_t Mask __attribute__((vector_size(W * sizeof(double))));
};

// Whether every lane of the mask is set, with the target's movemask where it has one (compilers
// do not find it from the plain loop).
template <int W>
inline bool allLanes(const typename Lanes<W>::Mask& mask) {
#ifdef __AVX__
    if constexpr (W == 4) return _mm256_movemask_pd(_mm256_castsi256_pd(__m256i(mask))) == 15;
#endif
#ifdef __SSE2__
    if constexpr (W == 2) return _mm_movemask_pd(_mm_castsi128_pd(__m128i(mask))) == 3;
#endif
    std::int64_t all = -1;
    for (int l = 0; l < W; ++l)
        all &= mask[l];
    return all != 0;
}

// The coordinates of points q[0 .. W), widened to doubles, each exactly. With the target's
// conversion of a whole register where it has one: compilers do not find it from the plain loop.
template <int W>
inline void loadPositions(const GridPoint* q, typename Lanes<W>::Values& x,
                          typename Lanes<W>::Values& y, typename Lanes<W>::Values& z) {
#ifdef __AVX__
    if constexpr (W == 4) {
        using Values = typename Lanes<W>::Values;
        x = Values(_mm256_cvtps_pd(
            _mm_setr_ps(q[0].position.x, q[1].position.x, q[2].position.x, q[3].position.x)));
        y = Values(_mm256_cvtps_pd(
            _mm_setr_ps(q[0].position.y, q[1].position.y, q[2].position.y, q[3].position.y)));
        z = Values(_mm256_cvtps_pd(
            _mm_setr_ps(q[0].position.z, q[1].position.z, q[2].position.z, q[3].position.z)));
        return;
    }
#endif
#ifdef __SSE2__
    if constexpr (W == 2) {
        using Values = typename Lanes<W>::Values;
        x = Values(_mm_cvtps_pd(_mm_setr_ps(q[0].position.x, q[1].position.x, 0.0f, 0.0f)));
        y = Values(_mm_cvtps_pd(_mm_setr_ps(q[0].position.y, q[1].position.y, 0.0f, 0.0f)));
        z = Values(_mm_cvtps_pd(_mm_setr_ps(q[0].position.z, q[1].position.z, 0.0f, 0.0f)));
        return;
    }
#endif
    for (int l = 0; l < W; ++l) {
        x[l] = q[l].position.x;
        y[l] = q[l].position.y;
        z[l] = q[l].position.z;
    }
}

// Adds the prepared balls' contributions to points [0, count), W points at a time, or sets
// their values to the sums when `fresh`; returns how many points it did, a multiple of W. Each
// lane does the plain function's operations in its order, so the results are the same bits for
// every W; a lane beyond the radius adds +0.0, which changes no sum (sums are never -0.0).
template <int W>
inline std::size_t addInLanes(const BallReach* reach, int reachCount, bool fresh, GridPoint* points,
                              std::size_t count) {
    using Values = typename Lanes<W>::Values;
    using Mask = typename Lanes<W>::Mask;
    std::size_t p = 0;
    for (; p + W <= count; p += W) {
        GridPoint* q = points + p;
        Values x, y, z;
        loadPositions<W>(q, x, y, z);
        Values value = {};
        if (!fresh) {
            for (int l = 0; l < W; ++l)
                value[l] = q[l].value;
        }
        for (int b = 0; b < reachCount; ++b) {
            const BallReach& ball = reach[b];
            const Values dx = x - ball.x;
            const Values dy = y - ball.y;
            const Values dz = z - ball.z;
            const Values s = dx * dx + dy * dy + dz * dz;
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
            q[l].value = value[l];
    }
    return p;
}

}  // namespace
