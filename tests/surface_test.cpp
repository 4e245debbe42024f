#include "field/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "surface_reference.h"

namespace {

// A grid of 21 cells a side, with blocks of 8, 8 and 5 cells along each axis, and the field of
// three balls on it with its summary.
struct ThreeBalls {
    static constexpr int kN = 21;
    GridCell* cells = nullptr;
    GridPoint* points = nullptr;
    FieldSummary summary;

    ThreeBalls() {
        if (allocateGrid(kNetWidth, kNetWidth / kN, cells, points) != kN) return;
        buildGrid(kNetWidth / kN, kN, cells, points);
        const Ball balls[kBallCount] = {{12, 12, 0, 20, true},
                                        {-10, -10, 0, 30, true},
                                        {30, -30, 29, 14, true},
                                        {},
                                        {},
                                        {},
                                        {},
                                        {},
                                        {}};
        updateField(summary, kN, kBallCount, balls, points);
    }
    ~ThreeBalls() {
        delete[] cells;
        delete[] points;
    }
};

// At an isolevel equal to a block's least or greatest value, or to a value on the faces that
// neighbouring blocks share, the surface touches the block's border: the extraction that skips
// blocks must still give exactly the cells, triangles and normals of every cell polygonised in
// order.
TEST(extractSurface, equalsEveryCellPolygonisedAtEveryBlockBound) {
    constexpr int kN = ThreeBalls::kN;
    static ThreeBalls grid;
    ASSERT_NE(grid.points, nullptr);
    GridCell* const cells = grid.cells;
    GridPoint* const points = grid.points;
    const FieldSummary& summary = grid.summary;
    ASSERT_EQ(summary.blocksPerAxis, 3);

    std::vector<double> isolevels = {0.4, 0.0, -1.0, 9.0};
    for (int e = 0; e < 27; ++e) {
        isolevels.push_back(summary.least[e]);
        isolevels.push_back(summary.greatest[e]);
    }
    static SurfaceCache surface;
    int skipped = 0;
    for (double isolevel : isolevels) {
        SCOPED_TRACE(isolevel);
        ASSERT_TRUE(extractSurface(surface, cells, points, kN, isolevel, summary));
        EXPECT_TRUE(sameSurface(surface, referenceSurface(cells, points, kN, isolevel)));
        CutBlocks blocks;
        findCutBlocks(blocks, summary, kN, points, isolevel);
        for (int column = 0; column < 9; ++column)
            skipped += 3 - __builtin_popcount(blocks.columns[column]);
    }
    EXPECT_GT(skipped, 0);  // blocks were passed over

    // Values the summary does not describe: every block is visited.
    points[0].value = 5.0;
    countGridWrite();
    ASSERT_TRUE(extractSurface(surface, cells, points, kN, 0.4, summary));
    EXPECT_TRUE(sameSurface(surface, referenceSurface(cells, points, kN, 0.4)));
}

// A slab for which storage cannot be had is not kept, and the extraction says the surface is
// incomplete; the next use of the surface extracts it again.
TEST(extractSurface, reportsAnIncompleteSurfaceWhenStorageRunsOut) {
    constexpr int kN = ThreeBalls::kN;
    static ThreeBalls grid;
    ASSERT_NE(grid.points, nullptr);
    static SurfaceCache surface;
    refuseSlabStorage(0b010);
    const bool complete = extractSurface(surface, grid.cells, grid.points, kN, 0.4, grid.summary);
    refuseSlabStorage(0);
    EXPECT_FALSE(complete);
    ASSERT_EQ(surface.slabCount, 3);
    EXPECT_TRUE(surface.kept[0]);
    EXPECT_FALSE(surface.kept[1]);
    EXPECT_TRUE(surface.kept[2]);

    static int used;
    used = 0;
    useSurface(surface, grid.cells, grid.points, kN, 0.4, grid.summary,
               [](void*, const SurfaceCache& kept, int slab) {
                   EXPECT_TRUE(kept.kept[slab]) << slab;
                   ++used;
               },
               nullptr);
    EXPECT_EQ(used, 3);
    EXPECT_TRUE(sameSurface(surface, referenceSurface(grid.cells, grid.points, kN, 0.4)));
}

}  // namespace
