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
    GridCell* cells = nullptr;
    GridPoint* points = nullptr;
    ASSERT_EQ(allocateGrid(kNetWidth, kNetWidth / kN, cells, points), kN);
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
    static FieldSummary summary;
    updateField(summary, kN, kBallCount, balls, points);
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
    delete[] cells;
    delete[] points;
}

}  // namespace
