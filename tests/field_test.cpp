#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "field/field.h"
#include "field/grid.h"

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
    for (Ball& ball : balls) ball = ballAt(0, 0, 0, 20, false);
    evaluateField(SmallGrid::kN, kBallCount, balls, grid.points);
    for (const GridPoint& point : grid.points) EXPECT_EQ(point.value, 0.0);

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
    for (const GridPoint& point : grid.points) EXPECT_TRUE(std::isfinite(point.value));
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
    for (Ball& ball : balls) ball = ballAt(0, 0, 0, 10, false);
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
    for (int p = 0; p < 4913; ++p) EXPECT_EQ(points[p].value, freshPoints[p].value) << p;
    delete[] cells;
    delete[] points;
    delete[] freshCells;
    delete[] freshPoints;
}

}  // namespace
