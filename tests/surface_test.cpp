#include "field/surface.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "field/mesh.h"
#include "surface_reference.h"

namespace {

// A grid of 21 cells a side, with blocks of 8, 8 and 5 cells along each axis, and the field of
// three balls on it with its summary: the two balls of the start and a third whose surface the
// cube's corner cuts.
const Ball kThreeBalls[kBallCount] = {{12, 12, 0, 20, true},
                                      {-10, -10, 0, 30, true},
                                      {30, -30, 29, 14, true},
                                      {},
                                      {},
                                      {},
                                      {},
                                      {},
                                      {}};

struct ThreeBalls {
    static constexpr int kN = 21;
    Grid grid;
    FieldSummary summary;

    ThreeBalls() {
        if (setVoxelSize(grid, kNetWidth / kN)) updateField(summary, grid, kThreeBalls);
    }
    ~ThreeBalls() { releaseGrid(grid); }
};

// At an isolevel equal to a block's least or greatest value, or to a value on the faces that
// neighbouring blocks share, the surface touches the block's border: the extraction that skips
// blocks must still give exactly the cells, triangles and normals of every cell polygonised in
// order.
TEST(extractSurface, equalsEveryCellPolygonisedAtEveryBlockBound) {
    static ThreeBalls three;
    Grid& grid = three.grid;
    ASSERT_EQ(grid.cellsPerAxis, ThreeBalls::kN);
    const FieldSummary& summary = three.summary;
    ASSERT_EQ(grid.lattice.perAxis, 3);

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
            skipped += 3 - __builtin_popcount(surface.cutBlocks.columns[column]);
    }
    EXPECT_GT(skipped, 0);  // blocks were passed over

    // Values the summary does not describe: every block is visited.
    grid.points[0].value = 5.0;
    valuesChanged(grid);
    ASSERT_TRUE(extractSurface(surface, grid, 0.4, summary));
    EXPECT_TRUE(sameSurface(surface, referenceSurface(grid, 0.4)));
}

// A slab for which storage cannot be had is not kept, and the extraction says the surface is
// incomplete; the next use of the surface extracts it again.
TEST(extractSurface, reportsAnIncompleteSurfaceWhenStorageRunsOut) {
    static ThreeBalls three;
    const Grid& grid = three.grid;
    ASSERT_EQ(grid.cellsPerAxis, ThreeBalls::kN);
    static KeptSurface surface;
    ASSERT_TRUE(extractSurface(surface, grid, 0.4, three.summary));
    bool complete = true;
    {
        SlabsWithoutStorage refused(surface, 0b010);
        complete = extractSurface(surface, grid, 0.4, three.summary);
    }
    EXPECT_FALSE(complete);
    ASSERT_EQ(surface.slabCount, 3);
    EXPECT_TRUE(surface.kept[0]);
    EXPECT_FALSE(surface.kept[1]);
    EXPECT_TRUE(surface.kept[2]);

    drawSurface(
        surface, grid, 0.4, three.summary, [](void*, const SurfaceCells&) {}, nullptr);
    EXPECT_TRUE(surface.complete);
    EXPECT_TRUE(surface.kept[0] && surface.kept[1] && surface.kept[2]);
    EXPECT_TRUE(sameSurface(surface, referenceSurface(grid, 0.4)));
}

// Every edge of the mesh is walked once each way by two triangles (one winding throughout),
// unless it lies in a face of the cube, where the surface is cut open.
void expectClosedAwayFromCube(const SurfaceMesh& mesh) {
    std::map<std::pair<std::uint32_t, std::uint32_t>, int> walked;
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        const std::uint32_t* v = mesh.indices + 3 * t;
        ASSERT_TRUE(v[0] != v[1] && v[1] != v[2] && v[2] != v[0]) << "triangle " << t;
        for (int c = 0; c < 3; ++c)
            ++walked[{v[c], v[(c + 1) % 3]}];
    }
    int open = 0;
    for (const auto& [edge, count] : walked) {
        const Vec3 a = mesh.positions[edge.first];
        const Vec3 b = mesh.positions[edge.second];
        constexpr float kFace = kNetWidth / 2;
        const bool onFace = (std::fabs(a.x) == kFace && a.x == b.x) ||
                            (std::fabs(a.y) == kFace && a.y == b.y) ||
                            (std::fabs(a.z) == kFace && a.z == b.z);
        const auto back = walked.find({edge.second, edge.first});
        const int reverse = back == walked.end() ? 0 : back->second;
        if (onFace && reverse == 0) {
            ++open;
        } else {
            EXPECT_TRUE(count == 1 && reverse == 1) << edge.first << "-" << edge.second;
        }
    }
    EXPECT_GT(open, 0) << "the cube cuts the third ball's surface";
}

// The mesh holds the frame's triangles in its order, each vertex shared by edge: as many vertices
// as cut grid edges, each where the frame draws it, and closed but where the cube cuts it.
TEST(buildSurfaceMesh, sharesVerticesByGridEdgeAndIsClosed) {
    constexpr int kN = ThreeBalls::kN;
    static ThreeBalls three;
    const Grid& grid = three.grid;
    ASSERT_EQ(grid.cellsPerAxis, kN);
    const FieldSummary& summary = three.summary;
    const ReferenceSurface frame = referenceSurface(grid, 0.4);
    SurfaceMesh mesh;
    ASSERT_TRUE(buildSurfaceMesh(mesh, grid, 0.4, summary));
    EXPECT_EQ(mesh.droppedTriangles, 0u);
    ASSERT_EQ(mesh.triangleCount, frame.triangles.size());
    EXPECT_EQ(mesh.vertexCount, countCutEdges(grid.points, kN, 0.4));
    // The crossing a vertex takes from its first cell is the one every cell computes for that edge:
    // in double precision from either end, it rounds to the same float.
    for (std::size_t t = 0; t < mesh.triangleCount; ++t) {
        for (int v = 0; v < 3; ++v) {
            const Vec3& drawn = frame.triangles[t].vertices[(3 - v) % 3];
            const Vec3& kept = mesh.positions[mesh.indices[3 * t + v]];
            ASSERT_EQ(std::memcmp(&kept, &drawn, sizeof kept), 0) << "triangle " << t;
        }
    }
    // Unit normals that point out of the solid: the field falls along them.
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        const Vec3& u = mesh.normals[v];
        EXPECT_NEAR(u.x * u.x + u.y * u.y + u.z * u.z, 1.0, 1e-5) << v;
        double ahead = 0, behind = 0;
        for (const Ball& ball : kThreeBalls) {
            const Vec3& p = mesh.positions[v];
            ahead += softObjectField(ball, p.x + 0.1f * u.x, p.y + 0.1f * u.y, p.z + 0.1f * u.z);
            behind += softObjectField(ball, p.x - 0.1f * u.x, p.y - 0.1f * u.y, p.z - 0.1f * u.z);
        }
        EXPECT_LT(ahead, behind) << v;
    }
    expectClosedAwayFromCube(mesh);

    // At the value of a grid point the surface runs through it: the triangles it flattens are
    // dropped and the crossings there are one vertex, so no hole opens.
    const double throughPoint = grid.points[pointIndex(grid, 5, 5, 10)].value;
    ASSERT_TRUE(buildSurfaceMesh(mesh, grid, throughPoint, summary));
    EXPECT_GT(mesh.droppedTriangles, 0u);
    EXPECT_EQ(mesh.triangleCount + mesh.droppedTriangles,
              referenceSurface(grid, throughPoint).triangles.size());
    expectClosedAwayFromCube(mesh);
    releaseSurfaceMesh(mesh);
}

}  // namespace
