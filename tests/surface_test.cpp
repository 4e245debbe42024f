#include "field/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "surface_reference.h"

namespace {

// A grid of 21 cells a side has blocks of 8, 8 and 5 cells along each axis. At an isolevel
// equal to a block's least or greatest value, or to a value on the faces that neighbouring
// blocks share, the surface touches the block's border: the extraction that skips blocks must
// still give exactly the cells, triangles and normals of every cell polygonised in order.
TEST(extractSurface, equalsEveryCellPolygonisedAtEveryBlockBound) {
    constexpr int kN = 21;
    Grid grid;
    ASSERT_TRUE(setCellSize(grid, kNetWidth / kN));
    ASSERT_EQ(grid.n, kN);
    const Ball balls[kBallCount] = {{12, 12, 0, 20, true},
                                    {-10, -10, 0, 30, true},
                                    {30, -30, 29, 14, true},
                                    {},
                                    {},
                                    {},
                                    {},
                                    {},
                                    {}};
    static FieldSummary summary;
    updateField(summary, grid, balls);
    ASSERT_EQ(grid.blocks.perAxis, 3);

    std::vector<double> isolevels = {0.4, 0.0, -1.0, 9.0};
    for (int e = 0; e < 27; ++e) {
        isolevels.push_back(summary.least[e]);
        isolevels.push_back(summary.greatest[e]);
    }
    static KeptSurface surface;
    int skipped = 0;
    for (double isolevel : isolevels) {
        SCOPED_TRACE(isolevel);
        ASSERT_TRUE(extractSurface(surface, grid, isolevel, summary));
        EXPECT_TRUE(sameSurface(surface, referenceSurface(grid, isolevel)));
        for (int column = 0; column < 9; ++column)
            skipped += 3 - __builtin_popcount(surface.blocks.columns[column]);
    }
    EXPECT_GT(skipped, 0);  // blocks were passed over

    // Values the summary does not describe: every block is visited.
    grid.points[0].value = 5.0;
    valuesChanged(grid);
    ASSERT_TRUE(extractSurface(surface, grid, 0.4, summary));
    EXPECT_TRUE(sameSurface(surface, referenceSurface(grid, 0.4)));
    releaseGrid(grid);
}

}  // namespace
