#include "field/polygoniser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "field/mc_tables.h"

namespace {

constexpr int kEdgeCorners[12][2] = {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6},
                                     {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7}};

int rowLength(int n) {
    int m = 0;
    while (triTable[n][m] != -1)
        ++m;
    return m;
}

// A free-standing cell of edge `size` with corner 0 at the origin and the given values.
struct TestCell {
    GridPoint points[8];
    GridCell cell;
    TestCell(const double values[8], float size = 2.0f) {
        for (int c = 0; c < 8; ++c) {
            points[c] = {values[c]};
            cell.corners[c] = c;
            cell.positions[c] = {kCornerOffsets[c][0] * size, kCornerOffsets[c][1] * size,
                                 kCornerOffsets[c][2] * size};
        }
    }
    // Values 0 for corners below (bits of `index`), 1 for the others.
    static TestCell forIndex(int index) {
        double values[8];
        for (int c = 0; c < 8; ++c)
            values[c] = (index >> c) & 1 ? 0.0 : 1.0;
        return TestCell(values);
    }
};

void expectVec(const Vec3& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

TEST(tables, edgeTableFollowsFromItsRule) {
    for (int n = 0; n < 256; ++n) {
        int mask = 0;
        for (int e = 0; e < 12; ++e) {
            const bool first = (n >> kEdgeCorners[e][0]) & 1;
            const bool second = (n >> kEdgeCorners[e][1]) & 1;
            if (first != second) mask |= 1 << e;
        }
        EXPECT_EQ(edgeTable[n], mask) << n;
        EXPECT_EQ(edgeTable[255 - n], edgeTable[n]) << n;
    }
    const int head[16] = {0x000, 0x109, 0x203, 0x30a, 0x406, 0x50f, 0x605, 0x70c,
                          0x80c, 0x905, 0xa0f, 0xb06, 0xc0a, 0xd03, 0xe09, 0xf00};
    for (int n = 0; n < 16; ++n)
        EXPECT_EQ(edgeTable[n], head[n]);
}

TEST(tables, triTableRowsAreWellFormed) {
    int rowsByTriangles[6] = {};
    int total = 0;
    for (int n = 0; n < 256; ++n) {
        SCOPED_TRACE(n);
        const int length = rowLength(n);
        ASSERT_EQ(length % 3, 0);
        ASSERT_LE(length / 3, kMaxTrianglesPerCell);
        for (int m = length; m < 16; ++m)
            EXPECT_EQ(triTable[n][m], -1);
        int named = 0;
        for (int m = 0; m < length; ++m) {
            ASSERT_GE(triTable[n][m], 0);
            ASSERT_LT(triTable[n][m], 12);
            named |= 1 << triTable[n][m];
        }
        EXPECT_EQ(named, edgeTable[n]);  // exactly the cut edges
        ++rowsByTriangles[length / 3];
        total += length / 3;
    }
    const int expected[6] = {2, 16, 50, 80, 76, 32};
    for (int t = 0; t < 6; ++t)
        EXPECT_EQ(rowsByTriangles[t], expected[t]) << t;
    EXPECT_EQ(total, 820);
    EXPECT_EQ(triTable[0][0], -1);
    EXPECT_EQ(triTable[255][0], -1);
}

TEST(tables, tellingRows) {
    const std::vector<std::pair<int, std::vector<int>>> rows = {
        {1, {0, 8, 3}},
        {2, {0, 1, 9}},
        {3, {1, 8, 3, 9, 8, 1}},
        {4, {1, 2, 10}},
        {5, {0, 8, 3, 1, 2, 10}},
        {6, {9, 2, 10, 0, 2, 9}},
        {7, {2, 8, 3, 2, 10, 8, 10, 9, 8}},
        {8, {3, 11, 2}},
        {16, {4, 7, 8}},
        {23, {2, 10, 9, 2, 9, 7, 2, 7, 3, 7, 9, 4}},
        {61, {5, 7, 0, 5, 0, 9, 7, 11, 0, 1, 0, 10, 11, 10, 0}},
        {250, {2, 3, 8, 2, 8, 10, 0, 1, 8, 1, 10, 8}},
        {252, {1, 3, 8, 9, 1, 8}},
        {253, {0, 9, 1}},
        {254, {0, 3, 8}},
    };
    for (const auto& [n, entries] : rows) {
        EXPECT_EQ(std::vector<int>(triTable[n], triTable[n] + rowLength(n)), entries) << n;
    }
}

// The triangles of row n as oriented triples, each rotated to start at its smallest edge, sorted;
// `flip` reverses each triangle's orientation first.
std::vector<std::vector<int>> orientedTriangles(int n, bool flip) {
    std::vector<std::vector<int>> result;
    for (int m = 0; triTable[n][m] != -1; m += 3) {
        std::vector<int> t(triTable[n] + m, triTable[n] + m + 3);
        if (flip) std::reverse(t.begin(), t.end());
        std::rotate(t.begin(), std::min_element(t.begin(), t.end()), t.end());
        result.push_back(t);
    }
    std::sort(result.begin(), result.end());
    return result;
}

TEST(tables, ambiguousComplementsAreTriangulatedDifferently) {
    // Complementary rows name the same edges, but in 120 rows the triangles are not the
    // complement's triangles turned round: the table cannot be derived from half of it.
    int differing = 0;
    for (int n = 0; n < 256; ++n) {
        if (orientedTriangles(n, false) != orientedTriangles(255 - n, true)) ++differing;
        EXPECT_EQ(edgeTable[n], edgeTable[255 - n]);
    }
    EXPECT_EQ(differing, 120);
}

TEST(tables, everyTriangleFacesTowardsHigherValues) {
    // With each vertex at the middle of its edge, (V - U) x (W - U) must point to the side
    // that is not below: it has a positive component along each of its edges' below-to-above
    // directions, summed over the triangle.
    for (int n = 1; n < 255; ++n) {
        const TestCell cell = TestCell::forIndex(n);
        Vec3 middles[12];
        ASSERT_TRUE(intersectEdges(middles, cell.cell, cell.points, n, 0.5));
        for (int m = 0; triTable[n][m] != -1; m += 3) {
            Triangle triangle{};
            for (int v = 0; v < 3; ++v)
                triangle.vertices[v] = middles[triTable[n][m + v]];
            Vec3 normal;
            triangleNormal(triangle, normal);
            double along = 0.0;
            for (int v = 0; v < 3; ++v) {
                const int e = triTable[n][m + v];
                int below = kEdgeCorners[e][0], above = kEdgeCorners[e][1];
                if (!((n >> below) & 1)) std::swap(below, above);
                const Vec3& b = cell.cell.positions[below];
                const Vec3& a = cell.cell.positions[above];
                along += normal.x * (a.x - b.x) + normal.y * (a.y - b.y) + normal.z * (a.z - b.z);
            }
            EXPECT_GT(along, 0.0) << "row " << n << " triangle " << m / 3;
        }
    }
}

TEST(polygoniser, workedCell) {
    const double values[8] = {0.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    const TestCell cell(values);
    const int index = cubeIndex(cell.cell, cell.points, 0.25);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(edgeTable[index], 0x109);

    Vec3 edges[12] = {};
    ASSERT_TRUE(intersectEdges(edges, cell.cell, cell.points, index, 0.25));
    expectVec(edges[0], 0, 0.5f, 0);
    expectVec(edges[3], 0.5f, 0, 0);  // from corner 3 towards corner 0, mu = 0.75
    expectVec(edges[8], 0, 0, 0.5f);

    Triangle triangles[kMaxTrianglesPerCell];
    ASSERT_EQ(buildTriangles(triangles, edges, index), 1);
    expectVec(triangles[0].vertices[0], 0, 0.5f, 0);
    expectVec(triangles[0].vertices[1], 0, 0, 0.5f);
    expectVec(triangles[0].vertices[2], 0.5f, 0, 0);

    // The whole pass over the cell gives the same.
    Vec3 scratch[12];
    Triangle fromCell[kMaxTrianglesPerCell];
    ASSERT_EQ(polygoniseCell(cell.cell, cell.points, 0.25, scratch, fromCell), 1);
    for (int v = 0; v < 3; ++v) {
        const Vec3& a = fromCell[0].vertices[v];
        expectVec(a, triangles[0].vertices[v].x, triangles[0].vertices[v].y,
                  triangles[0].vertices[v].z);
    }

    Vec3 normal;
    const Vec3& returned = triangleNormal(triangles[0], normal);
    EXPECT_EQ(&returned, &normal);
    expectVec(normal, 0.25f, 0.25f, 0.25f);
}

TEST(polygoniser, uncutCellsLeaveTheScratchAlone) {
    const double low[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    const double high[8] = {1, 1, 1, 1, 1, 1, 1, 1};
    const TestCell below(low);
    const TestCell above(high);
    EXPECT_EQ(cubeIndex(below.cell, below.points, 0.5), 255);
    EXPECT_EQ(cubeIndex(above.cell, above.points, 0.5), 0);

    Vec3 edges[12];
    for (Vec3& v : edges)
        v = {7, 7, 7};
    EXPECT_FALSE(intersectEdges(edges, below.cell, below.points, 255, 0.5));
    EXPECT_FALSE(intersectEdges(edges, above.cell, above.points, 0, 0.5));
    for (const Vec3& v : edges)
        expectVec(v, 7, 7, 7);
}

TEST(polygoniser, cornerAtTheIsolevelIsNotBelow) {
    const double values[8] = {0.5, 0.2, 0.2, 0.2, 0.2, 0.2, 0.2, 0.2};
    const TestCell cell(values);
    const int index = cubeIndex(cell.cell, cell.points, 0.5);
    EXPECT_EQ(index, 0xFE);  // all but corner 0
    Vec3 edges[12];
    ASSERT_TRUE(intersectEdges(edges, cell.cell, cell.points, index, 0.5));
    // All three crossings sit exactly on corner 0: a degenerate triangle with a zero normal.
    for (int e : {0, 3, 8})
        expectVec(edges[e], 0, 0, 0);
    Triangle triangles[kMaxTrianglesPerCell];
    ASSERT_EQ(buildTriangles(triangles, edges, index), 1);
    Vec3 normal;
    triangleNormal(triangles[0], normal);
    expectVec(normal, 0, 0, 0);
}

TEST(polygoniser, triangleCountsOfTellingConfigurations) {
    const struct { int index, triangles; } cases[] = {{5, 2}, {250, 4}, {61, 5}, {1, 1}, {254, 1}};
    for (const auto& c : cases) {
        const TestCell cell = TestCell::forIndex(c.index);
        EXPECT_EQ(cubeIndex(cell.cell, cell.points, 0.5), c.index);
        Vec3 edges[12];
        Triangle triangles[kMaxTrianglesPerCell];
        ASSERT_TRUE(intersectEdges(edges, cell.cell, cell.points, c.index, 0.5));
        EXPECT_EQ(buildTriangles(triangles, edges, c.index), c.triangles) << c.index;
    }
}

TEST(polygoniser, interpolationStaysOnTheEdge) {
    const Vec3 from{-32, 4, 10};
    const Vec3 to{-32, 6, 10};
    expectVec(interpolateVertex(0.5, from, 0.9, to, 0.1), -32, 5, 10);
    expectVec(interpolateVertex(0.1, from, 0.9, to, 0.1), -32, 6, 10);  // exactly at the second
    expectVec(interpolateVertex(0.9, from, 0.9, to, 0.1), -32, 4, 10);
}

TEST(polygoniser, triangleNormalIsTheUnnormalisedCrossProduct) {
    Vec3 normal;
    triangleNormal({{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}}, normal);
    expectVec(normal, 0, 0, 1);
    triangleNormal({{{0, 0, 0}, {2, 0, 0}, {0, 2, 0}}}, normal);
    expectVec(normal, 0, 0, 4);
    triangleNormal({{{1, 1, 1}, {2, 2, 2}, {3, 3, 3}}}, normal);  // collinear
    expectVec(normal, 0, 0, 0);
}

}  // namespace
