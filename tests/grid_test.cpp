#include "field/grid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// A grid owned by the test, released at the end.
struct TestGrid {
    Grid grid;
    explicit TestGrid(double voxelSize) { setVoxelSize(grid, voxelSize); }
    ~TestGrid() { releaseGrid(grid); }
};

void expectAt(const Vec3& p, float x, float y, float z) {
    EXPECT_EQ(p.x, x);
    EXPECT_EQ(p.y, y);
    EXPECT_EQ(p.z, z);
}

TEST(grid, cellsPerAxisForEveryVoxelSize) {
    const struct {
        double size;
        int n;
    } cases[] = {{0.5, 128}, {1.0, 64}, {2.0, 32}, {4.0, 16}, {8.0, 8}, {16.0, 4}, {100.0, 0}};
    for (const auto& c : cases) {
        TestGrid test(c.size);
        EXPECT_EQ(test.grid.cellsPerAxis, c.n) << c.size;
        EXPECT_EQ(test.grid.voxelSize, c.size);
        EXPECT_NE(test.grid.points, nullptr);
        EXPECT_NE(test.grid.version, 0u);
    }
    // A size that does not divide the width rounds N down.
    TestGrid odd(3.0);
    EXPECT_EQ(odd.grid.cellsPerAxis, 21);
}

TEST(grid, pointPositionsAtN32) {
    TestGrid test(2.0);
    const Grid& grid = test.grid;
    ASSERT_EQ(grid.cellsPerAxis, 32);
    expectAt(pointPosition(grid, 0, 0, 0), -32, -32, -32);
    expectAt(pointPosition(grid, 0, 0, 1), -32, -32, -30);
    expectAt(pointPosition(grid, 0, 1, 0), -32, -30, -32);
    expectAt(pointPosition(grid, 1, 0, 0), -30, -32, -32);
    expectAt(pointPosition(grid, 32, 32, 32), 32, 32, 32);
    // k, along z, varies fastest.
    EXPECT_EQ(pointIndex(grid, 0, 0, 1), 1u);
    EXPECT_EQ(pointIndex(grid, 0, 1, 0), 33u);
    EXPECT_EQ(pointIndex(grid, 1, 0, 0), 1089u);
    EXPECT_EQ(pointIndex(grid, 32, 32, 32), 35936u);
}

TEST(grid, cellCornersAtN32) {
    TestGrid test(2.0);
    const GridCell first = gridCell(test.grid, 0, 0, 0);
    const float expected[8][3] = {{-32, -32, -32}, {-32, -30, -32}, {-30, -30, -32},
                                  {-30, -32, -32}, {-32, -32, -30}, {-32, -30, -30},
                                  {-30, -30, -30}, {-30, -32, -30}};
    for (int c = 0; c < 8; ++c) {
        SCOPED_TRACE(c);
        expectAt(first.positions[c], expected[c][0], expected[c][1], expected[c][2]);
    }
    const GridCell last = gridCell(test.grid, 31, 31, 31);
    expectAt(last.positions[0], 30, 30, 30);
    expectAt(last.positions[6], 32, 32, 32);
}

TEST(grid, everyCellReferencesItsCornersInOrder) {
    // Corner offsets in cells: around the lower-z face from the lowest corner (+y, +x, -y),
    // then the same one cell higher in z.
    const int offsets[8][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0},
                               {0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}};
    TestGrid test(16.0);
    const Grid& grid = test.grid;
    ASSERT_EQ(grid.cellsPerAxis, 4);
    const int side = grid.cellsPerAxis + 1;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            for (int k = 0; k < 4; ++k) {
                const GridCell cell = gridCell(grid, i, j, k);
                for (int c = 0; c < 8; ++c) {
                    const int pi = i + offsets[c][0], pj = j + offsets[c][1],
                              pk = k + offsets[c][2];
                    EXPECT_EQ(cell.corners[c],
                              static_cast<std::size_t>((pi * side + pj) * side + pk));
                    expectAt(cell.positions[c], grid.axis[pi], grid.axis[pj], grid.axis[pk]);
                }
            }
        }
    }
}

TEST(grid, coarsestAndFinestGrids) {
    TestGrid coarse(16.0);
    const float axis[5] = {-32, -16, 0, 16, 32};
    for (int t = 0; t < 5; ++t)
        EXPECT_EQ(coarse.grid.axis[t], axis[t]);
    // 64 cells, 125 points
    EXPECT_EQ(gridCell(coarse.grid, 3, 3, 3).corners[6], 124u);

    TestGrid fine(0.5);
    ASSERT_EQ(fine.grid.cellsPerAxis, 128);
    expectAt(pointPosition(fine.grid, 128, 128, 128), 32, 32, 32);
    expectAt(pointPosition(fine.grid, 0, 0, 1), -32, -32, -31.5f);
    EXPECT_EQ(gridCell(fine.grid, 127, 127, 127).corners[6], 2146688u);
}

TEST(grid, newVoxelSizeKeepsStorageLargeEnoughAndMovesTheVersionOn) {
    TestGrid test(4.0);
    Grid& grid = test.grid;
    float before[17];
    std::copy(grid.axis, grid.axis + 17, before);
    const GridPoint* storage = grid.points;
    std::uint64_t version = grid.version;
    ASSERT_TRUE(setVoxelSize(grid, 4.0));
    EXPECT_GT(grid.version, version);
    EXPECT_EQ(grid.points, storage);
    for (int t = 0; t < 17; ++t)
        EXPECT_EQ(grid.axis[t], before[t]);
    // Coarser fits in the storage at hand; finer needs more.
    version = grid.version;
    ASSERT_TRUE(setVoxelSize(grid, 16.0));
    EXPECT_EQ(grid.points, storage);
    EXPECT_GT(grid.version, version);
    ASSERT_TRUE(setVoxelSize(grid, 2.0));
    EXPECT_EQ(grid.cellsPerAxis, 32);
    expectAt(pointPosition(grid, 32, 32, 32), 32, 32, 32);
}

TEST(grid, failedAllocationKeepsTheOldGrid) {
    TestGrid test(2.0);
    Grid& grid = test.grid;
    const Grid old = grid;
    // 1e-4 asks for about 2e18 bytes: sizes fit, memory does not. The others would overflow
    // the size computation or give no N at all.
    const double impossible[] = {1e-4,
                                 1e-9,
                                 1e-300,
                                 0.0,
                                 -2.0,
                                 std::numeric_limits<double>::quiet_NaN(),
                                 std::numeric_limits<double>::denorm_min()};
    for (double size : impossible) {
        EXPECT_FALSE(setVoxelSize(grid, size)) << size;
        EXPECT_EQ(grid.points, old.points);
        EXPECT_EQ(grid.cellsPerAxis, old.cellsPerAxis);
        EXPECT_EQ(grid.voxelSize, old.voxelSize);
        EXPECT_EQ(grid.version, old.version);
    }
    // The old grid is intact and still usable.
    expectAt(pointPosition(grid, 32, 32, 32), 32, 32, 32);
}

TEST(grid, blockLatticeCutsTheLastBlockShort) {
    const BlockLattice odd = blockLattice(21);  // blocks of 8, 8 and 5 cells
    EXPECT_EQ(odd.cells, 8);
    EXPECT_EQ(odd.perAxis, 3);
    EXPECT_EQ(odd.begin(2), 16);
    EXPECT_EQ(odd.end(1), 16);
    EXPECT_EQ(odd.end(2), 21);
    EXPECT_EQ(odd.index(1, 2, 0), 15);
    const BlockLattice finest = blockLattice(128);
    EXPECT_EQ(finest.perAxis, kMaxBlocksPerAxis);
    const BlockLattice larger = blockLattice(200);  // more blocks than an axis holds: larger ones
    EXPECT_EQ(larger.cells, 13);
    EXPECT_EQ(larger.perAxis, 16);
    EXPECT_EQ(larger.end(15), 200);
    EXPECT_EQ(blockLattice(0).perAxis, 0);
}

}  // namespace
