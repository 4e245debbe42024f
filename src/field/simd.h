#pragma once

// The few SIMD operations of the field library, on W doubles side by side in the vector
// extensions of GCC and Clang, which do the arithmetic lane by lane, rounded as the scalar
// operation is, in the SIMD instructions of the target. Where compilers do not find the target's
// instruction from a plain loop (gathering lane bits into an integer, least and greatest that
// pass over NaN) it is named here, with a portable loop for targets without it. Everything has
// internal linkage: the unit of the four-lane kernel is built for AVX, and no code built for it
// may be shared with the rest.

#include <cstdint>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif
#ifdef __AVX__
#include <immintrin.h>
#endif

namespace {

// Whether the target has vector registers for the lanes. Without them (WebAssembly without its
// SIMD instructions) the compiler splits every vector into scalars, and the wider the lanes the
// slower: the field pass then takes two lanes, and a row's range a plain loop.
#if defined(__SSE2__) || defined(__ARM_NEON) || defined(__wasm_simd128__)
constexpr bool kVectorRegisters = true;
#else
constexpr bool kVectorRegisters = false;
#endif

// W doubles, W floats, and W lanes of all-ones or all-zeros bits.
template <int W>
struct Lanes {
    typedef double Values __attribute__((vector_size(W * sizeof(double))));
    typedef float Floats __attribute__((vector_size(W * sizeof(float))));
    typedef std::int64_t Mask __attribute__((vector_size(W * sizeof(double))));
};

using Pair = Lanes<2>::Values;

// W floats from memory, each widened to a double exactly.
template <int W>
inline typename Lanes<W>::Values widen(const float* from) {
    typename Lanes<W>::Floats floats;
    std::memcpy(&floats, from, sizeof floats);
    return __builtin_convertvector(floats, typename Lanes<W>::Values);
}

// Bit l set for every lane l set in the mask.
template <int W>
inline unsigned laneBits(const typename Lanes<W>::Mask& mask) {
#ifdef __AVX__
    if constexpr (W == 4) return _mm256_movemask_pd(_mm256_castsi256_pd(__m256i(mask)));
#endif
#ifdef __SSE2__
    if constexpr (W == 2) return _mm_movemask_pd(_mm_castsi128_pd(__m128i(mask)));
#endif
    unsigned bits = 0;
    for (int l = 0; l < W; ++l)
        bits |= static_cast<unsigned>(mask[l] & 1) << l;
    return bits;
}

template <int W>
inline bool allLanes(const typename Lanes<W>::Mask& mask) {
    return laneBits<W>(mask) == (1u << W) - 1;
}

inline Pair loadPair(const double& first, const double& second) {
    return Pair{first, second};
}

// Bit l set when lane l is below the isolevel (as `isolevel > value`: NaN is not below).
inline unsigned lanesBelow(const Pair& values, double isolevel) {
    return laneBits<2>(values < isolevel);
}

// Lane by lane, `least` and `greatest` widened by `values`; a NaN value leaves them as they were.
inline void widenRange(const Pair& values, Pair& least, Pair& greatest) {
#ifdef __SSE2__
    // min and max give their second operand, the range so far, where the value is NaN.
    least = Pair(_mm_min_pd(__m128d(values), __m128d(least)));
    greatest = Pair(_mm_max_pd(__m128d(values), __m128d(greatest)));
#else
    for (int l = 0; l < 2; ++l) {
        least[l] = values[l] < least[l] ? values[l] : least[l];
        greatest[l] = greatest[l] < values[l] ? values[l] : greatest[l];
    }
#endif
}

inline double leastLane(const Pair& values) {
    return values[1] < values[0] ? values[1] : values[0];
}

inline double greatestLane(const Pair& values) {
    return values[0] < values[1] ? values[1] : values[0];
}

}  // namespace
