#include "field/field.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "field/grid.h"
#include "field/parallel.h"

// How GoogleTest shows a kernel in the names of the cases.
void PrintTo(FieldKernel kernel, std::ostream* out) {
    static const char* const kNames[] = {"scalar", "pairs", "fours"};
    *out << kNames[static_cast<int>(kernel)];
}

namespace {

Ball ballAt(float x, float y, float z, float radius, bool enabled = true) {
    return {x, y, z, radius, enabled};
}

TEST(softObjectField, exactValuesForEveryWholeRadius) {
    for (int r = 1; r <= 100; ++r) {
        SCOPED_TRACE(r);
        const float radius = static_cast<float>(r);
        const Ball atOrigin = ballAt(0, 0, 0, radius);
        const Ball offCentre = ballAt(3, -7, 2, radius);
        EXPECT_EQ(softObjectField(atOrigin, 0, 0, 0), 1.0);
        EXPECT_EQ(softObjectField(offCentre, 3, -7, 2), 1.0);
        EXPECT_EQ(softObjectField(atOrigin, radius / 2, 0, 0), 0.500000125);
        EXPECT_EQ(softObjectField(offCentre, 3, -7 + radius / 2, 2), 0.500000125);
        EXPECT_EQ(softObjectField(atOrigin, 0, 0, -radius), 1.000000000139778e-06);
        EXPECT_EQ(softObjectField(offCentre, 3 + radius, -7, 2), 1.000000000139778e-06);
        EXPECT_EQ(softObjectField(atOrigin, radius + 0.5f, 0, 0), 0.0);
        EXPECT_EQ(softObjectField(atOrigin, radius, radius, 0), 0.0);
    }
}

TEST(softObjectField, radiusTenAlongAnAxis) {
    const Ball ball = ballAt(0, 0, 0, 10);
    EXPECT_EQ(softObjectField(ball, 0, 0, 0), 1.0);
    EXPECT_EQ(softObjectField(ball, 5, 0, 0), 0.500000125);
    EXPECT_NEAR(softObjectField(ball, 10, 0, 0), 1.0e-6, 1e-12);
    EXPECT_EQ(softObjectField(ball, 10.5f, 0, 0), 0.0);
    // The enabled flag is the caller's business.
    EXPECT_EQ(softObjectField(ballAt(0, 0, 0, 10, false), 5, 0, 0), 0.500000125);
}

TEST(softObjectField, fallsMonotonicallyAndStaysAboveOneMillionthInside) {
    const Ball ball = ballAt(0, 0, 0, 37);
    double previous = 2.0;
    for (int step = 0; step <= 3700; ++step) {
        const double value = softObjectField(ball, step * 0.01f, 0, 0);
        EXPECT_LE(value, previous) << step;
        EXPECT_GT(value, 9.9999e-07) << step;
        previous = value;
    }
}

TEST(softObjectField, radiusZeroContributesNothingAnywhere) {
    const Ball ball = ballAt(4, 4, 4, 0);
    EXPECT_EQ(softObjectField(ball, 4, 4, 4), 0.0);  // would be 0/0
    EXPECT_EQ(softObjectField(ball, 4, 4, 5), 0.0);
    EXPECT_EQ(softObjectField(ball, -32, 0, 32), 0.0);
}

// Points of a grid with cell size 16 (N = 4), values unset.
struct SmallGrid {
    static constexpr int kN = 4;
    static constexpr int kPoints = 125;
    GridCell cells[64];
    GridPoint points[kPoints];
    SmallGrid() { buildGrid(16.0, kN, cells, points); }
};

TEST(evaluateField, sumsTheEnabledBallsOnly) {
    SmallGrid grid;
    Ball balls[kBallCount];
    for (Ball& ball : balls)
        ball = ballAt(0, 0, 0, 20, false);
    evaluateField(SmallGrid::kN, kBallCount, balls, grid.points);
    for (const GridPoint& point : grid.points)
        EXPECT_EQ(point.value, 0.0);

    balls[3] = ballAt(16, 0, -16, 30);
    balls[7] = ballAt(16, 0, -16, 10);
    evaluateField(SmallGrid::kN, kBallCount, balls, grid.points);
    const int centre = (3 * 5 + 2) * 5 + 1;  // (16, 0, -16)
    EXPECT_EQ(grid.points[centre].value, 2.0);
    for (const GridPoint& point : grid.points) {
        const Vec3& p = point.position;
        const double expected =
            softObjectField(balls[3], p.x, p.y, p.z) + softObjectField(balls[7], p.x, p.y, p.z);
        EXPECT_EQ(point.value, expected);
        EXPECT_GE(point.value, 0.0);
        EXPECT_LE(point.value, 2.0);
    }
}

TEST(evaluateField, radiusZeroBallOnAGridPointKeepsValuesFinite) {
    SmallGrid grid;
    Ball balls[2] = {ballAt(0, 0, 0, 0), ballAt(0, 0, 0, 10)};
    evaluateField(SmallGrid::kN, 2, balls, grid.points);
    for (const GridPoint& point : grid.points)
        EXPECT_TRUE(std::isfinite(point.value));
    EXPECT_EQ(grid.points[(2 * 5 + 2) * 5 + 2].value, 1.0);  // only the radius-10 ball
}

TEST(evaluateField, edgeCasesOfTheCounts) {
    GridPoint single[2] = {{{5, 0, 0}, -1.0}, {{0, 0, 0}, -1.0}};
    const Ball ball = ballAt(0, 0, 0, 10);
    evaluateField(0, 1, &ball, single);  // N = 0: exactly one point
    EXPECT_EQ(single[0].value, 0.500000125);
    EXPECT_EQ(single[1].value, -1.0);

    evaluateField(-1, 1, &ball, single);  // negative N: nothing touched
    EXPECT_EQ(single[0].value, 0.500000125);

    evaluateField(0, 0, &ball, single);  // no balls: zero
    EXPECT_EQ(single[0].value, 0.0);
}

TEST(evaluateField, reevaluationEqualsAFreshGrid) {
    Ball balls[kBallCount];
    for (Ball& ball : balls)
        ball = ballAt(0, 0, 0, 10, false);
    balls[1] = ballAt(12, 12, 0, 20);
    balls[2] = ballAt(-10, -10, 0, 30);

    GridCell* cells = nullptr;
    GridPoint* points = nullptr;
    const int n = allocateGrid(kNetWidth, 4.0, cells, points);
    buildGrid(4.0, n, cells, points);
    evaluateField(n, kBallCount, balls, points);
    balls[1].x += 1.0f;
    balls[2].radius -= 1.0f;
    evaluateField(n, kBallCount, balls, points);

    GridCell* freshCells = nullptr;
    GridPoint* freshPoints = nullptr;
    allocateGrid(kNetWidth, 4.0, freshCells, freshPoints);
    buildGrid(4.0, n, freshCells, freshPoints);
    evaluateField(n, kBallCount, balls, freshPoints);
    for (int p = 0; p < 4913; ++p)
        EXPECT_EQ(points[p].value, freshPoints[p].value) << p;
    delete[] cells;
    delete[] points;
    delete[] freshCells;
    delete[] freshPoints;
}

// Bit patterns, so that NaN results can be compared too.
std::uint64_t bitsOf(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// The kernels of the field pass this processor can run; each must give the same bits.
std::vector<FieldKernel> availableKernels() {
    std::vector<FieldKernel> kernels;
    for (FieldKernel kernel : {FieldKernel::kScalar, FieldKernel::kPairs, FieldKernel::kFours}) {
        if (fieldKernelAvailable(kernel)) kernels.push_back(kernel);
    }
    return kernels;
}

// The field pass against the plain single-ball function, over points whose squared distance
// from the centre runs in steps of a fraction of a unit in the last place across r*r: from
// well inside, through the squares a little above r*r whose root still rounds to r (inside),
// to beyond. Rejecting a point because its squared distance exceeds r*r would be wrong there.
TEST(evaluateField, rejectionAtTheRadiusAgreesWithThePlainDistanceTest) {
    constexpr int kN = 3;  // 64 points, one per step
    for (FieldKernel kernel : availableKernels()) {
        SCOPED_TRACE(static_cast<int>(kernel));
        int insideAboveSquare = 0;
        int outside = 0;
        for (float radius : {1.0f, 2.0f, 3.0f, 7.0f, 10.0f, 20.0f, 30.0f, 57.0f, 100.0f, 0.1f, 0.7f,
                             1.5f, 3.3f, 17.25f, 99.9f, 1e-3f, 1e3f}) {
            SCOPED_TRACE(radius);
            const double square = static_cast<double>(radius) * radius;
            const double unit = std::nextafter(square, 2 * square) - square;  // of r*r
            const Ball ball = ballAt(0, 0, 0, radius);
            GridPoint points[64];
            for (int m = 0; m < 64; ++m) {
                // (r, e, 0) has the squared distance r*r + e*e, exactly before its rounding.
                const float e = static_cast<float>(std::sqrt(unit) * m / 8);
                points[m] = {{radius, e, 0}, -1.0};
            }
            evaluateFieldWith(kernel, kN, 1, &ball, points);
            for (const GridPoint& point : points) {
                const Vec3& p = point.position;
                const double plain = softObjectField(ball, p.x, p.y, p.z);
                EXPECT_EQ(bitsOf(point.value), bitsOf(plain)) << p.y;
                const double s = static_cast<double>(p.x) * p.x + static_cast<double>(p.y) * p.y;
                if (s > square && plain != 0.0) ++insideAboveSquare;
                if (plain == 0.0) ++outside;
            }
        }
        EXPECT_GT(insideAboveSquare, 0);  // the trap was there
        EXPECT_GT(outside, 0);
    }
}

TEST(evaluateField, unusualRadiiAgreeWithThePlainFunction) {
    const float radii[] = {-1.0f,
                           -0.0f,
                           0.0f,
                           std::numeric_limits<float>::infinity(),
                           std::numeric_limits<float>::quiet_NaN(),
                           std::numeric_limits<float>::denorm_min(),
                           3e38f};
    for (FieldKernel kernel : availableKernels()) {
        SCOPED_TRACE(static_cast<int>(kernel));
        SmallGrid grid;
        for (float radius : radii) {
            SCOPED_TRACE(radius);
            const Ball ball = ballAt(16, 0, -16, radius);
            evaluateFieldWith(kernel, SmallGrid::kN, 1, &ball, grid.points);
            for (const GridPoint& point : grid.points) {
                const Vec3& p = point.position;
                EXPECT_EQ(bitsOf(point.value), bitsOf(softObjectField(ball, p.x, p.y, p.z)));
            }
        }
    }
}

TEST(evaluateField, moreBallsThanTheSceneHoldsAddUpInOrder) {
    Ball balls[20];
    for (int b = 0; b < 20; ++b) {
        balls[b] = ballAt(static_cast<float>(b * 3 - 30), static_cast<float>(b % 5 * 7 - 14),
                          static_cast<float>(-b), static_cast<float>(15 + b * 2), b % 7 != 3);
    }
    for (FieldKernel kernel : availableKernels()) {
        SCOPED_TRACE(static_cast<int>(kernel));
        SmallGrid grid;
        evaluateFieldWith(kernel, SmallGrid::kN, 20, balls, grid.points);
        for (const GridPoint& point : grid.points) {
            const Vec3& p = point.position;
            double expected = 0.0;
            for (const Ball& ball : balls) {
                if (ball.enabled) expected += softObjectField(ball, p.x, p.y, p.z);
            }
            EXPECT_EQ(point.value, expected);
        }
    }
}

// The field as the plain function gives it, one point after another on one thread.
std::vector<double> plainField(const GridPoint* points, std::size_t count, const Ball* balls) {
    std::vector<double> values(count, 0.0);
    for (std::size_t p = 0; p < count; ++p) {
        const Vec3& q = points[p].position;
        for (int b = 0; b < kBallCount; ++b) {
            if (balls[b].enabled) values[p] += softObjectField(balls[b], q.x, q.y, q.z);
        }
    }
    return values;
}

// Every block's range is the least and greatest value over all its points, borders included.
void expectExactSummary(const FieldSummary& summary, int n, const GridPoint* points) {
    ASSERT_TRUE(summaryCurrent(summary, n, points));
    const int side = summary.blockCells;
    const int perAxis = summary.blocksPerAxis;
    const std::size_t pointSide = static_cast<std::size_t>(n) + 1;
    int wrong = 0;
    for (int a = 0; a < perAxis; ++a) {
        for (int b = 0; b < perAxis; ++b) {
            for (int c = 0; c < perAxis; ++c) {
                double least = INFINITY, greatest = -INFINITY;
                for (int i = a * side; i <= std::min(a * side + side, n); ++i)
                    for (int j = b * side; j <= std::min(b * side + side, n); ++j)
                        for (int k = c * side; k <= std::min(c * side + side, n); ++k) {
                            const double v = points[(i * pointSide + j) * pointSide + k].value;
                            least = std::min(least, v);
                            greatest = std::max(greatest, v);
                        }
                const int e = (a * perAxis + b) * perAxis + c;
                wrong += summary.least[e] != least || summary.greatest[e] != greatest;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// Grids whose point counts leave one, two or three points beyond the widest kernel's width, and
// a grid large enough to be split among threads, with blocks cut short at the far faces, split
// into 1, 2 and 3 parts whatever the machine has. The kernel forced by the parameter, the whole
// pass kept with its summary, and the passes that recompute only where a ball changed all give
// the plain function's bits. A kernel this processor cannot run is reported as skipped; the
// aarch64 run covers its code. Under ThreadSanitizer the parts show that no two write the same
// block's range.
using oddGrids = ::testing::TestWithParam<FieldKernel>;

TEST_P(oddGrids, kernelAndUpdatesGiveThePlainBits) {
    const FieldKernel kernel = GetParam();
    if (!fieldKernelAvailable(kernel)) {
        GTEST_SKIP() << "this processor cannot run the kernel: four lanes need AVX on x86-64";
    }
    Ball balls[kBallCount];
    for (int b = 0; b < kBallCount; ++b) {
        balls[b] = ballAt(static_cast<float>(b * 7 - 28), static_cast<float>(20 - b * 5),
                          static_cast<float>(b % 3 * 9 - 9), static_cast<float>(8 + b * 5), b != 4);
    }
    struct MachinesPartCount {  // given back however the case ends
        ~MachinesPartCount() { forcePartCount(0); }
    } restore;
    // 1, 8, 27, ... and 97,336 points; parts 0: as many as the machine has.
    const struct {
        int n, parts;
    } grids[] = {{0, 0},  {1, 0},  {2, 0},  {4, 0},  {6, 0},
                 {16, 0}, {37, 0}, {45, 1}, {45, 2}, {45, 3}};
    for (const auto [n, parts] : grids) {
        SCOPED_TRACE("N " + std::to_string(n) + ", parts " + std::to_string(parts));
        forcePartCount(parts);
        GridCell* cells = nullptr;
        GridPoint* points = nullptr;
        ASSERT_EQ(allocateGrid(kNetWidth, kNetWidth / n, cells, points), n);
        buildGrid(kNetWidth / n, n, cells, points);
        const std::size_t count = static_cast<std::size_t>(n + 1) * (n + 1) * (n + 1);
        const auto expectPlain = [&](const Ball* now) {
            const std::vector<double> plain = plainField(points, count, now);
            int mismatches = 0;
            for (std::size_t p = 0; p < count; ++p)
                mismatches += bitsOf(points[p].value) != bitsOf(plain[p]);
            EXPECT_EQ(mismatches, 0);
        };
        for (std::size_t p = 0; p < count; ++p)
            points[p].value = -1.0;
        evaluateFieldWith(kernel, n, kBallCount, balls, points);
        expectPlain(balls);

        static FieldSummary summary;
        summary = FieldSummary{};
        updateField(summary, n, kBallCount, balls, points);
        expectPlain(balls);
        expectExactSummary(summary, n, points);
        Ball changed[kBallCount];
        std::copy(balls, balls + kBallCount, changed);
        changed[1].x += 3.0f;       // moved
        changed[4].enabled = true;  // switched on
        updateField(summary, n, kBallCount, changed, points);
        expectPlain(changed);
        expectExactSummary(summary, n, points);
        changed[6].radius = 0.0f;  // shrunk to nothing
        changed[7].z = 1e30f;      // out of reach of every point
        updateField(summary, n, kBallCount, changed, points);
        expectPlain(changed);
        expectExactSummary(summary, n, points);
        delete[] cells;
        delete[] points;
    }
}

std::string kernelName(const ::testing::TestParamInfo<FieldKernel>& info) {
    std::ostringstream name;
    PrintTo(info.param, &name);
    return name.str();
}

INSTANTIATE_TEST_SUITE_P(evaluateField, oddGrids,
                         ::testing::Values(FieldKernel::kScalar, FieldKernel::kPairs,
                                           FieldKernel::kFours),
                         kernelName);

}  // namespace
