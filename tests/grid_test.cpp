#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "field/grid.h"

namespace {

// A grid owned by the test, released at the end.
struct TestGrid {
    GridCell* cells = nullptr;
    GridPoint* points = nullptr;
    int n = 0;

    explicit TestGrid(double voxelSize) {
        n = allocateGrid(kNetWidth, voxelSize, cells, points);
        if (n >= 0) buildGrid(voxelSize, n, cells, points);
    }
    ~TestGrid() {
        delete[] cells;
        delete[] points;
    }
};

void expectAt(const Vec3& p, float x, float y, float z) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.z, z);
}

TEST(grid, cellsPerAxisForEveryCellSize) {
    const struct {
        double size;
        int n;
    } cases[] = {{0.5, 128}, {1.0, 64}, {2.0, 32}, {4.0, 16}, {8.0, 8}, {16.0, 4}, {100.0, 0}};
    for (const auto& c : cases) {
        GridCell* cells = nullptr;
        GridPoint* points = nullptr;
        EXPECT_EQ(allocateGrid(kNetWidth, c.size, cells, points), c.n) << c.size;
        EXPECT_NE(cells, nullptr);
        EXPECT_NE(points, nullptr);
        delete[] cells;
        delete[] points;
    }
    // A size that does not divide the width rounds N down.
    GridCell* cells = nullptr;
    GridPoint* points = nullptr;
    EXPECT_EQ(allocateGrid(kNetWidth, 3.0, cells, points), 21);
    delete[] cells;
    delete[] points;
}

TEST(grid, pointPositionsAtN32) {
    TestGrid grid(2.0);
    ASSERT_EQ(grid.n, 32);
    expectAt(grid.points[0].position, -32, -32, -32);
    expectAt(grid.points[1].position, -32, -32, -30);  // k, along z, varies fastest
    expectAt(grid.points[33].position, -32, -30, -32);
    expectAt(grid.points[1089].position, -30, -32, -32);
    expectAt(grid.points[35936].position, 32, 32, 32);
}

TEST(grid, cellCornersAtN32) {
    TestGrid grid(2.0);
    const GridCell& first = grid.cells[0];
    const float expected[8][3] = {{-32, -32, -32}, {-32, -30, -32}, {-30, -30, -32},
                                  {-30, -32, -32}, {-32, -32, -30}, {-32, -30, -30},
                                  {-30, -30, -30}, {-30, -32, -30}};
    for (int c = 0; c < 8; ++c) {
        SCOPED_TRACE(c);
        expectAt(pointAt(grid.points, first.corners[c]).position, expected[c][0], expected[c][1],
                 expected[c][2]);
    }
    const GridCell& last = grid.cells[32767];
    expectAt(pointAt(grid.points, last.corners[0]).position, 30, 30, 30);
    expectAt(pointAt(grid.points, last.corners[6]).position, 32, 32, 32);
}

TEST(grid, everyCellReferencesItsCornersInOrder) {
    // Corner offsets in cells: around the lower-z face from the lowest corner (+y, +x, -y),
    // then the same one cell higher in z.
    const int offsets[8][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0},
                               {0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}};
    TestGrid grid(16.0);
    ASSERT_EQ(grid.n, 4);
    const int side = grid.n + 1;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const GridCell& cell = grid.cells[(i * 4 + j) * 4 + k];
                for (int c = 0; c < 8; ++c) {
                    const int pi = i + offsets[c][0], pj = j + offsets[c][1],
                              pk = k + offsets[c][2];
                    EXPECT_EQ(&pointAt(grid.points, cell.corners[c]),
                              &grid.points[(pi * side + pj) * side + pk]);
                }
            }
        }
    }
}

TEST(grid, coarsestAndFinestGrids) {
    TestGrid coarse(16.0);
    const float axis[5] = {-32, -16, 0, 16, 32};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(coarse.points[k].position.z, axis[k]);
    for (int j = 0; j < 5; ++j) EXPECT_EQ(coarse.points[j * 5].position.y, axis[j]);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(coarse.points[i * 25].position.x, axis[i]);
    // 64 cells, 125 points
    EXPECT_EQ(&pointAt(coarse.points, coarse.cells[63].corners[6]), &coarse.points[124]);

    TestGrid fine(0.5);
    ASSERT_EQ(fine.n, 128);
    expectAt(fine.points[2146688].position, 32, 32, 32);
    expectAt(fine.points[1].position, -32, -32, -31.5f);
    EXPECT_EQ(&pointAt(fine.points, fine.cells[2097151].corners[6]), &fine.points[2146688]);
}

TEST(grid, rebuildWithSameSizeGivesSameGrid) {
    TestGrid grid(4.0);
    GridPoint before[4913];
    for (int p = 0; p < 4913; ++p) before[p] = grid.points[p];
    ASSERT_EQ(allocateGrid(kNetWidth, 4.0, grid.cells, grid.points), 16);
    buildGrid(4.0, 16, grid.cells, grid.points);
    for (int p = 0; p < 4913; ++p) {
        EXPECT_EQ(grid.points[p].position.x, before[p].position.x);
        EXPECT_EQ(grid.points[p].position.y, before[p].position.y);
        EXPECT_EQ(grid.points[p].position.z, before[p].position.z);
    }
    // The cells refer into the new point array, not the released one.
    EXPECT_EQ(&pointAt(grid.points, grid.cells[0].corners[0]), grid.points);
}

TEST(grid, failedAllocationKeepsTheOldGrid) {
    TestGrid grid(2.0);
    GridCell* const oldCells = grid.cells;
    GridPoint* const oldPoints = grid.points;
    // 1e-4 asks for about 6e18 bytes: sizes fit, memory does not. The others would overflow
    // the size computation or give no N at all.
    const double impossible[] = {1e-4,
                                 1e-9,
                                 1e-300,
                                 0.0,
                                 -2.0,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::denorm_min()};
    for (double size : impossible) {
        EXPECT_EQ(allocateGrid(kNetWidth, size, grid.cells, grid.points), kGridAllocationFailed)
            << size;
        EXPECT_EQ(grid.cells, oldCells);
        EXPECT_EQ(grid.points, oldPoints);
    }
    // The old pair is intact and still usable.
    expectAt(grid.points[35936].position, 32, 32, 32);
    EXPECT_EQ(&pointAt(grid.points, grid.cells[32767].corners[6]), &grid.points[35936]);
}

TEST(grid, refusesGridsBeyondTheReachOfAPointRef) {
    // N = 563 would need 4.3 GB of points, more than 4-byte references can address; the
    // arrays alone might still be had, so the refusal must come from the size check.
    TestGrid grid(4.0);
    GridCell* const oldCells = grid.cells;
    GridPoint* const oldPoints = grid.points;
    EXPECT_EQ(allocateGrid(kNetWidth, kNetWidth / 563.5, grid.cells, grid.points),
              kGridAllocationFailed);
    EXPECT_EQ(grid.cells, oldCells);
    EXPECT_EQ(grid.points, oldPoints);
    // The largest reachable element is still addressed exactly.
    EXPECT_EQ(pointRef(178956969), 4294967256u);
}

}  // namespace
