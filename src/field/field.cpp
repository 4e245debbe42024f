#include "field/field.h"

#include <cmath>
#include <cstddef>
#include <limits>

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#elif defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Coefficients of the fall-off polynomial, as six-decimal values (not 4/9, 17/9, 22/9).
constexpr double kSixthPower = 0.444444;
constexpr double kFourthPower = 1.888889;
constexpr double kSecondPower = 2.444444;

// The fall-off inside the radius: each power of d over the same power of r, terms combined in
// this order. Both the single-ball function and the field pass go through it.
inline double fallOff(double d, double r2, double r4, double r6) {
    const double d2 = d * d;
    const double d4 = d2 * d2;
    const double d6 = d4 * d2;
    return kFourthPower * (d4 / r4) - kSixthPower * (d6 / r6) - kSecondPower * (d2 / r2) + 1.0;
}

// What the field pass needs of one enabled ball, worked out once per pass.
struct BallReach {
    double x, y, z;     // centre
    double outside;     // least squared distance whose square root exceeds the radius
    double r2, r4, r6;  // powers of the radius
};

// The least sum of squares s with sqrt(s) > r. The square root is correctly rounded, so it
// never decreases as s grows, and sqrt(s) > r holds exactly when s >= this bound: testing
// the bound rejects a point outside the ball without the square root and with the same result
// as the distance test. r*r is exact for a float radius and its root is r itself, so the
// search starts just inside and steps up a few units in the last place.
double outsideBound(double r) {
    constexpr double kInfinity = std::numeric_limits<double>::infinity();
    // No distance exceeds an infinite or undefined radius; every distance exceeds a negative one.
    if (std::isnan(r) || r == kInfinity) return std::numeric_limits<double>::quiet_NaN();
    if (r < 0.0) return -kInfinity;
    double s = r * r;
    while (!(std::sqrt(s) > r))
        s = std::nextafter(s, kInfinity);
    return s;
}

// Adds the contributions of the prepared balls at points [begin, end) to their `value`, or sets
// `value` to their sum when `fresh`.
void addContributions(const BallReach* reach, int reachCount, bool fresh, GridPoint* points,
                      std::size_t begin, std::size_t end) {
    for (std::size_t p = begin; p < end; ++p) {
        GridPoint& point = points[p];
        const double x = point.position.x;
        const double y = point.position.y;
        const double z = point.position.z;
        double value = fresh ? 0.0 : point.value;
        for (int b = 0; b < reachCount; ++b) {
            const BallReach& ball = reach[b];
            const double dx = x - ball.x;
            const double dy = y - ball.y;
            const double dz = z - ball.z;
            const double s = dx * dx + dy * dy + dz * dz;
            if (s >= ball.outside) continue;
            value += fallOff(std::sqrt(s), ball.r2, ball.r4, ball.r6);
        }
        point.value = value;
    }
}

#ifdef __SSE2__
// The same for two points at a time: the square roots and divisions, which bound the pass,
// take two values per instruction. Each lane does the scalar code's operations in its order,
// so the results are the same bits; a lane beyond the radius adds +0.0, which changes no sum.
std::size_t addContributionsInPairs(const BallReach* reach, int reachCount, bool fresh,
                                    GridPoint* points, std::size_t count) {
    const __m128d zero = _mm_setzero_pd();
    const __m128d one = _mm_set1_pd(1.0);
    const __m128d sixth = _mm_set1_pd(kSixthPower);
    const __m128d fourth = _mm_set1_pd(kFourthPower);
    const __m128d second = _mm_set1_pd(kSecondPower);
    std::size_t p = 0;
    for (; p + 1 < count; p += 2) {
        GridPoint& first = points[p];
        GridPoint& next = points[p + 1];
        const __m128d x = _mm_set_pd(next.position.x, first.position.x);
        const __m128d y = _mm_set_pd(next.position.y, first.position.y);
        const __m128d z = _mm_set_pd(next.position.z, first.position.z);
        __m128d value = fresh ? zero : _mm_set_pd(next.value, first.value);
        for (int b = 0; b < reachCount; ++b) {
            const BallReach& ball = reach[b];
            const __m128d dx = _mm_sub_pd(x, _mm_set1_pd(ball.x));
            const __m128d dy = _mm_sub_pd(y, _mm_set1_pd(ball.y));
            const __m128d dz = _mm_sub_pd(z, _mm_set1_pd(ball.z));
            const __m128d s =
                _mm_add_pd(_mm_add_pd(_mm_mul_pd(dx, dx), _mm_mul_pd(dy, dy)), _mm_mul_pd(dz, dz));
            // Not (s >= bound), as in the scalar test, so that NaN goes on to the formula.
            const __m128d inside = _mm_cmpnge_pd(s, _mm_set1_pd(ball.outside));
            if (_mm_movemask_pd(inside) == 0) continue;
            const __m128d d = _mm_sqrt_pd(s);
            const __m128d d2 = _mm_mul_pd(d, d);
            const __m128d d4 = _mm_mul_pd(d2, d2);
            const __m128d d6 = _mm_mul_pd(d4, d2);
            const __m128d t4 = _mm_mul_pd(fourth, _mm_div_pd(d4, _mm_set1_pd(ball.r4)));
            const __m128d t6 = _mm_mul_pd(sixth, _mm_div_pd(d6, _mm_set1_pd(ball.r6)));
            const __m128d t2 = _mm_mul_pd(second, _mm_div_pd(d2, _mm_set1_pd(ball.r2)));
            const __m128d f = _mm_add_pd(_mm_sub_pd(_mm_sub_pd(t4, t6), t2), one);
            value = _mm_add_pd(value, _mm_and_pd(inside, f));
        }
        _mm_storel_pd(&first.value, value);
        _mm_storeh_pd(&next.value, value);
    }
    return p;
}
#endif

#if defined(__x86_64__) && defined(__GNUC__)
// Four points at a time where the processor has AVX, chosen at run time so that the program
// still runs on any x86-64. Same operations in the same order as the scalar code, as above.
__attribute__((target("avx"))) std::size_t addContributionsInFours(const BallReach* reach,
                                                                   int reachCount, bool fresh,
                                                                   GridPoint* points,
                                                                   std::size_t count) {
    const __m256d zero = _mm256_setzero_pd();
    const __m256d one = _mm256_set1_pd(1.0);
    const __m256d sixth = _mm256_set1_pd(kSixthPower);
    const __m256d fourth = _mm256_set1_pd(kFourthPower);
    const __m256d second = _mm256_set1_pd(kSecondPower);
    std::size_t p = 0;
    for (; p + 3 < count; p += 4) {
        GridPoint* q = points + p;
        const __m256d x =
            _mm256_set_pd(q[3].position.x, q[2].position.x, q[1].position.x, q[0].position.x);
        const __m256d y =
            _mm256_set_pd(q[3].position.y, q[2].position.y, q[1].position.y, q[0].position.y);
        const __m256d z =
            _mm256_set_pd(q[3].position.z, q[2].position.z, q[1].position.z, q[0].position.z);
        __m256d value =
            fresh ? zero : _mm256_set_pd(q[3].value, q[2].value, q[1].value, q[0].value);
        for (int b = 0; b < reachCount; ++b) {
            const BallReach& ball = reach[b];
            const __m256d dx = _mm256_sub_pd(x, _mm256_set1_pd(ball.x));
            const __m256d dy = _mm256_sub_pd(y, _mm256_set1_pd(ball.y));
            const __m256d dz = _mm256_sub_pd(z, _mm256_set1_pd(ball.z));
            const __m256d s = _mm256_add_pd(
                _mm256_add_pd(_mm256_mul_pd(dx, dx), _mm256_mul_pd(dy, dy)), _mm256_mul_pd(dz, dz));
            const __m256d inside = _mm256_cmp_pd(s, _mm256_set1_pd(ball.outside), _CMP_NGE_UQ);
            if (_mm256_movemask_pd(inside) == 0) continue;
            const __m256d d = _mm256_sqrt_pd(s);
            const __m256d d2 = _mm256_mul_pd(d, d);
            const __m256d d4 = _mm256_mul_pd(d2, d2);
            const __m256d d6 = _mm256_mul_pd(d4, d2);
            const __m256d t4 = _mm256_mul_pd(fourth, _mm256_div_pd(d4, _mm256_set1_pd(ball.r4)));
            const __m256d t6 = _mm256_mul_pd(sixth, _mm256_div_pd(d6, _mm256_set1_pd(ball.r6)));
            const __m256d t2 = _mm256_mul_pd(second, _mm256_div_pd(d2, _mm256_set1_pd(ball.r2)));
            const __m256d f = _mm256_add_pd(_mm256_sub_pd(_mm256_sub_pd(t4, t6), t2), one);
            value = _mm256_add_pd(value, _mm256_and_pd(inside, f));
        }
        alignas(32) double sums[4];
        _mm256_store_pd(sums, value);
        for (int i = 0; i < 4; ++i)
            q[i].value = sums[i];
    }
    return p;
}
#endif

// Adds the prepared balls' contributions at every point with the kernel, the points that do not
// fill its width with narrower ones. Where there is no SIMD kernel the scalar one does it all.
void addEverywhere([[maybe_unused]] FieldKernel kernel, const BallReach* reach, int reachCount,
                   bool fresh, GridPoint* points, std::size_t count) {
    std::size_t done = 0;
#if defined(__x86_64__) && defined(__GNUC__)
    if (kernel == FieldKernel::kFours) {
        done = addContributionsInFours(reach, reachCount, fresh, points, count);
    }
#endif
#ifdef __SSE2__
    if (kernel != FieldKernel::kScalar) {
        done += addContributionsInPairs(reach, reachCount, fresh, points + done, count - done);
    }
#endif
    addContributions(reach, reachCount, fresh, points, done, count);
}

}  // namespace

double softObjectField(const Ball& ball, float x, float y, float z) {
    const double dx = static_cast<double>(x) - ball.x;
    const double dy = static_cast<double>(y) - ball.y;
    const double dz = static_cast<double>(z) - ball.z;
    const double d = std::sqrt(dx * dx + dy * dy + dz * dz);
    const double r = ball.radius;
    // Beyond the radius nothing; a radius-0 ball would give 0/0 at its centre, so it gives 0.
    if (d > r || r == 0.0) return 0.0;

    const double r2 = r * r;
    return fallOff(d, r2, r2 * r2, r2 * r2 * r2);
}

bool fieldKernelAvailable(FieldKernel kernel) {
    switch (kernel) {
        case FieldKernel::kScalar:
            return true;
        case FieldKernel::kPairs:
#ifdef __SSE2__
            return true;
#else
            return false;
#endif
        case FieldKernel::kFours:
#if defined(__x86_64__) && defined(__GNUC__)
            return __builtin_cpu_supports("avx");
#else
            return false;
#endif
    }
    return false;
}

void evaluateField(int n, int ballCount, const Ball* balls, GridPoint* points) {
    static const FieldKernel widest =
        fieldKernelAvailable(FieldKernel::kFours)   ? FieldKernel::kFours
        : fieldKernelAvailable(FieldKernel::kPairs) ? FieldKernel::kPairs
                                                    : FieldKernel::kScalar;
    evaluateFieldWith(widest, n, ballCount, balls, points);
}

void evaluateFieldWith(FieldKernel kernel, int n, int ballCount, const Ball* balls,
                       GridPoint* points) {
    if (n < 0) return;
    if (!fieldKernelAvailable(kernel)) kernel = FieldKernel::kScalar;
    const std::size_t side = static_cast<std::size_t>(n) + 1;
    const std::size_t count = side * side * side;

    // The enabled balls in order, kBallCount at a time; a later batch adds to the sums the
    // earlier ones stored, which keeps the order of the additions. A radius-0 ball adds 0.0
    // everywhere and is left out: sums of contributions are never -0.0, so adding 0.0 changes
    // nothing. For the same reason a point beyond a ball's radius skips the addition.
    int first = 0;
    do {
        BallReach reach[kBallCount]{};
        int reachCount = 0;
        for (int b = first; b < ballCount && b < first + kBallCount; ++b) {
            const Ball& ball = balls[b];
            if (!ball.enabled || ball.radius == 0.0f) continue;
            BallReach& prepared = reach[reachCount++];
            const double r = ball.radius;
            prepared.x = ball.x;
            prepared.y = ball.y;
            prepared.z = ball.z;
            prepared.outside = outsideBound(r);
            prepared.r2 = r * r;
            prepared.r4 = prepared.r2 * prepared.r2;
            prepared.r6 = prepared.r4 * prepared.r2;
        }
        addEverywhere(kernel, reach, reachCount, first == 0, points, count);
        first += kBallCount;
    } while (first < ballCount);
}
