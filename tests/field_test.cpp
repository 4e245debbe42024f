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

// A grid owned by the test, values unset; by default of voxel size 16 (N = 4).
struct TestGrid {
    Grid grid;
    explicit TestGrid(double voxelSize = 16.0) { setVoxelSize(grid, voxelSize); }
    ~TestGrid() { releaseGrid(grid); }
};

// The position of element p of the grid's points.
Vec3 positionOf(const Grid& grid, std::size_t p) {
    const std::size_t side = static_cast<std::size_t>(grid.cellsPerAxis) + 1;
    return pointPosition(grid, static_cast<int>(p / side / side), static_cast<int>(p / side % side),
                         static_cast<int>(p % side));
}

TEST(evaluateField, sumsTheEnabledBallsOnly) {
    TestGrid test;
    Grid& grid = test.grid;
    Ball balls[kBallCount];
    for (Ball& ball : balls)
        ball = ballAt(0, 0, 0, 20, false);
    evaluateField(grid, kBallCount, balls);
    for (std::size_t p = 0; p < pointCount(grid); ++p)
        EXPECT_EQ(grid.points[p].value, 0.0);

    balls[3] = ballAt(16, 0, -16, 30);
    balls[7] = ballAt(16, 0, -16, 10);
    evaluateField(grid, kBallCount, balls);
    EXPECT_EQ(grid.points[pointIndex(grid, 3, 2, 1)].value, 2.0);  // (16, 0, -16)
    for (std::size_t p = 0; p < pointCount(grid); ++p) {
        const Vec3 q = positionOf(grid, p);
        const double value = grid.points[p].value;
        EXPECT_EQ(value, softObjectField(balls[3], q.x, q.y, q.z) +
                             softObjectField(balls[7], q.x, q.y, q.z));
        EXPECT_GE(value, 0.0);
        EXPECT_LE(value, 2.0);
    }
}

TEST(evaluateField, radiusZeroBallOnAGridPointKeepsValuesFinite) {
    TestGrid test;
    Ball balls[2] = {ballAt(0, 0, 0, 0), ballAt(0, 0, 0, 10)};
    evaluateField(test.grid, 2, balls);
    for (std::size_t p = 0; p < pointCount(test.grid); ++p)
        EXPECT_TRUE(std::isfinite(test.grid.points[p].value));
    EXPECT_EQ(test.grid.points[pointIndex(test.grid, 2, 2, 2)].value, 1.0);  // only radius 10
}

TEST(evaluateField, edgeCasesOfTheCounts) {
    TestGrid single(100.0);  // N = 0: exactly one point, at the origin
    ASSERT_EQ(single.grid.cellsPerAxis, 0);
    const Ball ball = ballAt(-5, 0, 0, 10);
    evaluateField(single.grid, 1, &ball);
    EXPECT_EQ(single.grid.points[0].value, 0.500000125);
    EXPECT_EQ(single.grid.axis[0], 0.0f);  // stored right after the one value

    evaluateField(single.grid, 0, &ball);  // no balls: zero
    EXPECT_EQ(single.grid.points[0].value, 0.0);
}

TEST(evaluateField, reevaluationEqualsAFreshGrid) {
    Ball balls[kBallCount];
    for (Ball& ball : balls)
        ball = ballAt(0, 0, 0, 10, false);
    balls[1] = ballAt(12, 12, 0, 20);
    balls[2] = ballAt(-10, -10, 0, 30);

    TestGrid test(4.0);
    evaluateField(test.grid, kBallCount, balls);
    balls[1].x += 1.0f;
    balls[2].radius -= 1.0f;
    evaluateField(test.grid, kBallCount, balls);

    TestGrid fresh(4.0);
    evaluateField(fresh.grid, kBallCount, balls);
    for (int p = 0; p < 4913; ++p)
        EXPECT_EQ(test.grid.points[p].value, fresh.grid.points[p].value) << p;
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
// The grid's axis is set to the steps, so that point (0, j, 0) lies at (r, e_j, 0) from the
// centre; every other point is checked too.
TEST(evaluateField, rejectionAtTheRadiusAgreesWithThePlainDistanceTest) {
    TestGrid test(kNetWidth / 63);  // 64 steps
    Grid& grid = test.grid;
    ASSERT_EQ(grid.cellsPerAxis, 63);
    for (FieldKernel kernel : availableKernels()) {
        SCOPED_TRACE(static_cast<int>(kernel));
        int insideAboveSquare = 0;
        int outside = 0;
        for (float radius : {1.0f, 2.0f, 3.0f, 7.0f, 10.0f, 20.0f, 30.0f, 57.0f, 100.0f, 0.1f, 0.7f,
                             1.5f, 3.3f, 17.25f, 99.9f, 1e-3f, 1e3f}) {
            SCOPED_TRACE(radius);
            const double square = static_cast<double>(radius) * radius;
            const double unit = std::nextafter(square, 2 * square) - square;  // of r*r
            const Ball ball = ballAt(-radius, 0, 0, radius);
            // (r, e, 0) has the squared distance r*r + e*e, exactly before its rounding.
            for (int m = 0; m < 64; ++m)
                grid.axis[m] = static_cast<float>(std::sqrt(unit) * m / 8);
            evaluateFieldWith(kernel, grid, 1, &ball, 0);
            int mismatches = 0;
            for (std::size_t p = 0; p < pointCount(grid); ++p) {
                const Vec3 q = positionOf(grid, p);
                const double plain = softObjectField(ball, q.x, q.y, q.z);
                mismatches += bitsOf(grid.points[p].value) != bitsOf(plain);
                if (q.x != 0.0f || q.z != 0.0f) continue;
                const double distance2 = square + static_cast<double>(q.y) * q.y;
                if (distance2 > square && plain != 0.0) ++insideAboveSquare;
                if (plain == 0.0) ++outside;
            }
            EXPECT_EQ(mismatches, 0);
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
        TestGrid test;
        for (float radius : radii) {
            SCOPED_TRACE(radius);
            const Ball ball = ballAt(16, 0, -16, radius);
            evaluateFieldWith(kernel, test.grid, 1, &ball, 0);
            for (std::size_t p = 0; p < pointCount(test.grid); ++p) {
                const Vec3 q = positionOf(test.grid, p);
                EXPECT_EQ(bitsOf(test.grid.points[p].value),
                          bitsOf(softObjectField(ball, q.x, q.y, q.z)));
            }
        }
    }
}

// The field as the plain function gives it, one point after another on one thread.
std::vector<double> plainField(const Grid& grid, const Ball* balls) {
    std::vector<double> values(pointCount(grid), 0.0);
    for (std::size_t p = 0; p < values.size(); ++p) {
        const Vec3 q = positionOf(grid, p);
        for (int b = 0; b < kBallCount; ++b) {
            if (balls[b].enabled) values[p] += softObjectField(balls[b], q.x, q.y, q.z);
        }
    }
    return values;
}

// Every block's range is the least and greatest value over all its points, borders included.
void expectExactSummary(const FieldSummary& summary, const Grid& grid) {
    ASSERT_TRUE(summaryCurrent(summary, grid));
    const int n = grid.cellsPerAxis;
    const int side = grid.lattice.cells;
    const int perAxis = grid.lattice.perAxis;
    int wrong = 0;
    for (int a = 0; a < perAxis; ++a) {
        for (int b = 0; b < perAxis; ++b) {
            for (int c = 0; c < perAxis; ++c) {
                double least = INFINITY, greatest = -INFINITY;
                for (int i = a * side; i <= std::min(a * side + side, n); ++i)
                    for (int j = b * side; j <= std::min(b * side + side, n); ++j)
                        for (int k = c * side; k <= std::min(c * side + side, n); ++k) {
                            const double v = grid.points[pointIndex(grid, i, j, k)].value;
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
    // 1, 8, 27, ... and 97,336 points; a part count of 0: as many as the machine has.
    const struct {
        int n, parts;
    } grids[] = {{0, 0},  {1, 0},  {2, 0},  {4, 0},  {6, 0},
                 {16, 0}, {37, 0}, {45, 1}, {45, 2}, {45, 3}};
    for (const auto [n, parts] : grids) {
        SCOPED_TRACE("N " + std::to_string(n) + ", parts " + std::to_string(parts));
        TestGrid test(kNetWidth / n);
        Grid& grid = test.grid;
        ASSERT_EQ(grid.cellsPerAxis, n);
        const auto expectPlain = [&](const Ball* now) {
            const std::vector<double> plain = plainField(grid, now);
            int mismatches = 0;
            for (std::size_t p = 0; p < plain.size(); ++p)
                mismatches += bitsOf(grid.points[p].value) != bitsOf(plain[p]);
            EXPECT_EQ(mismatches, 0);
        };
        for (std::size_t p = 0; p < pointCount(grid); ++p)
            grid.points[p].value = -1.0;
        evaluateFieldWith(kernel, grid, kBallCount, balls, parts);
        expectPlain(balls);

        static FieldSummary summary;
        summary = FieldSummary{};
        updateField(summary, grid, balls, parts);
        expectPlain(balls);
        expectExactSummary(summary, grid);
        Ball changed[kBallCount];
        std::copy(balls, balls + kBallCount, changed);
        changed[1].x += 3.0f;       // moved
        changed[4].enabled = true;  // switched on
        updateField(summary, grid, changed, parts);
        expectPlain(changed);
        expectExactSummary(summary, grid);
        changed[6].radius = 0.0f;  // shrunk to nothing
        changed[7].z = 1e30f;      // out of reach of every point
        updateField(summary, grid, changed, parts);
        expectPlain(changed);
        expectExactSummary(summary, grid);
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
