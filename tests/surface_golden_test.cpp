#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "app/scene.h"
#include "gl_double.h"

namespace {

// FNV-1a over the bit patterns of everything the field and the surface pass produce, so that
// any change of a single bit in a value, a vertex or a normal, or of the order, shows.
struct Checksum {
    std::uint64_t hash = 14695981039346656037ull;
    void add(const void* data, std::size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (std::size_t i = 0; i < size; ++i) {
            hash ^= bytes[i];
            hash *= 1099511628211ull;
        }
    }
    void add(const Vec3& v) { add(&v, sizeof v); }
};

struct SurfaceDigest {
    std::uint64_t values;     // every point's value, in storage order
    std::uint64_t triangles;  // every triangle's vertices and normal, in drawing order
    int triangleCount;
};

// The initial scene's grid rebuilt for the voxel size, as the voxel-size keys do, then the
// surface pass of a frame over every cell, with the frame's drawing replaced by the checksum.
SurfaceDigest digestAt(double voxelSize, void (*edit)() = nullptr) {
    resetGlDouble();
    initScene();
    if (edit) edit();
    setVoxelSize(scene.grid, voxelSize);
    const Grid& grid = scene.grid;
    evaluateField(scene.grid, kBallCount, scene.balls);

    Checksum values;
    for (std::size_t p = 0; p < pointCount(grid); ++p) {
        values.add(&grid.points[p].value, sizeof(double));
    }
    Checksum triangles;
    int count = 0;
    Vec3 edgeVertices[kEdgesPerCell];
    Triangle cellTriangles[kMaxTrianglesPerCell];
    for (int c = 0; c < grid.cellsPerAxis * grid.cellsPerAxis * grid.cellsPerAxis; ++c) {
        const GridCell cell =
            gridCell(grid, c / grid.cellsPerAxis / grid.cellsPerAxis,
                     c / grid.cellsPerAxis % grid.cellsPerAxis, c % grid.cellsPerAxis);
        const int made =
            polygoniseCell(cell, grid.points, scene.isolevel, edgeVertices, cellTriangles);
        for (int t = 0; t < made; ++t) {
            Vec3 normal;
            triangles.add(triangleNormal(cellTriangles[t], normal));
            for (const Vec3& vertex : cellTriangles[t].vertices)
                triangles.add(vertex);
        }
        count += made;
    }
    return {values.hash, triangles.hash, count};
}

// Digests taken from the straightforward implementation; every faster version must reproduce
// them bit for bit.
TEST(surfaceGolden, initialSceneAtVoxelSize2) {
    const SurfaceDigest digest = digestAt(2.0);
    EXPECT_EQ(digest.triangleCount, 3796);
    EXPECT_EQ(digest.values, 0xc4ca588262b58ce7ull);
    EXPECT_EQ(digest.triangles, 0x7276187d7316b12full);
}

TEST(surfaceGolden, initialSceneAtVoxelSizeHalf) {
    const SurfaceDigest digest = digestAt(0.5);
    EXPECT_EQ(digest.triangleCount, 61544);
    EXPECT_EQ(digest.values, 0x0a69964070af86a0ull);
    EXPECT_EQ(digest.triangles, 0x4b43febe28eb82fdull);
}

// All nine balls on: radius 100 everywhere, then assorted centres and radii, one of them 0 on a
// grid point, some reaching out of the cube, and a threshold that cuts several of them.
TEST(surfaceGolden, nineBallsAtVoxelSize1) {
    const SurfaceDigest everywhere = digestAt(1.0, [] {
        for (Ball& ball : scene.balls)
            ball = {ball.x, ball.y, ball.z, 100.0f, true};
        scene.isolevel = 7.0;
    });
    EXPECT_EQ(everywhere.triangleCount, 35176);
    EXPECT_EQ(everywhere.values, 0xa82001d870ae05abull);
    EXPECT_EQ(everywhere.triangles, 0xe3cae709237143a0ull);

    const SurfaceDigest assorted = digestAt(1.0, [] {
        const Ball balls[kBallCount] = {
            {0, 0, 0, 0, true},     {12, 12, 0, 20, true},    {-10, -10, 0, 30, true},
            {25, -20, 7, 13, true}, {-31, 30, -29, 17, true}, {3, 5, 31, 1, true},
            {0.5f, 0, 16, 9, true}, {40, 40, 40, 33, true},   {-7, 22, -12, 100, false}};
        for (int b = 0; b < kBallCount; ++b)
            scene.balls[b] = balls[b];
        scene.isolevel = 0.62;
    });
    EXPECT_EQ(assorted.triangleCount, 11594);
    EXPECT_EQ(assorted.values, 0xfe4d0f756c39d1c7ull);
    EXPECT_EQ(assorted.triangles, 0x95cd35954e248472ull);
}

}  // namespace
