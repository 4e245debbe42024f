#pragma once

#include "field/grid.h"
#include "field/mc_tables.h"
#include "field/simd.h"

// The polygoniser runs for every cell of every frame, so its operations are defined here,
// inline, for the frame's loop to absorb them.

constexpr int kMaxTrianglesPerCell = 5;
constexpr int kEdgesPerCell = 12;

struct Triangle {
    Vec3 vertices[3];
};

// First and second corner of each edge; crossings are interpolated from the first.
inline constexpr int kCornersOfEdge[kEdgesPerCell][2] = {
    {0, 1}, {1, 2}, {2, 3}, {3, 0}, {4, 5}, {5, 6}, {6, 7}, {7, 4}, {0, 4}, {1, 5}, {2, 6}, {3, 7},
};

// The cell operations take the grid's `points`, which the cell's corners index.

// Corner classification: bit c is set when the isolevel is strictly above corner c's value.
inline int cubeIndex(const GridCell& cell, const GridPoint* points, double isolevel) {
    int index = 0;
    for (int c = 0; c < 8; c += 2) {
        const Pair values =
            loadPair(points[cell.corners[c]].value, points[cell.corners[c + 1]].value);
        index |= static_cast<int>(lanesBelow(values, isolevel)) << c;
    }
    return index;
}

// The crossing of the isolevel on the edge from a (of value va) to b, linear in the two values.
inline Vec3 interpolateVertex(double isolevel, const Vec3& a, double va, const Vec3& b, double vb) {
    const double mu = (isolevel - va) / (vb - va);
    return {static_cast<float>(a.x + mu * (static_cast<double>(b.x) - a.x)),
            static_cast<float>(a.y + mu * (static_cast<double>(b.y) - a.y)),
            static_cast<float>(a.z + mu * (static_cast<double>(b.z) - a.z))};
}

// Fills edgeVertices[e] with the crossing on every cut edge e; false (nothing written) when no
// edge is cut. Entries of uncut edges keep what an earlier cell left.
inline bool intersectEdges(Vec3 edgeVertices[kEdgesPerCell], const GridCell& cell,
                           const GridPoint* points, int index, double isolevel) {
    const int mask = edgeTable[index];
    if (mask == 0) return false;
    // The set bits of the mask from the lowest up, edge by edge in order.
    for (unsigned bits = static_cast<unsigned>(mask); bits != 0; bits &= bits - 1) {
        const int e = __builtin_ctz(bits);
        const int first = kCornersOfEdge[e][0];
        const int second = kCornersOfEdge[e][1];
        edgeVertices[e] =
            interpolateVertex(isolevel, cell.positions[first], points[cell.corners[first]].value,
                              cell.positions[second], points[cell.corners[second]].value);
    }
    return true;
}

// Copies the triangles of configuration `index` out of edgeVertices; returns their count (0..5).
inline int buildTriangles(Triangle triangles[kMaxTrianglesPerCell],
                          const Vec3 edgeVertices[kEdgesPerCell], int index) {
    const int* row = triTable[index];
    int t = 0;
    while (row[3 * t] != -1) {
        triangles[t].vertices[0] = edgeVertices[row[3 * t]];
        triangles[t].vertices[1] = edgeVertices[row[3 * t + 1]];
        triangles[t].vertices[2] = edgeVertices[row[3 * t + 2]];
        ++t;
    }
    return t;
}

// The unnormalised normal (V - U) x (W - U), written to `normal` and returned.
inline Vec3& triangleNormal(const Triangle& triangle, Vec3& normal) {
    const Vec3& u = triangle.vertices[0];
    const Vec3& v = triangle.vertices[1];
    const Vec3& w = triangle.vertices[2];
    const double ax = static_cast<double>(v.x) - u.x;
    const double ay = static_cast<double>(v.y) - u.y;
    const double az = static_cast<double>(v.z) - u.z;
    const double bx = static_cast<double>(w.x) - u.x;
    const double by = static_cast<double>(w.y) - u.y;
    const double bz = static_cast<double>(w.z) - u.z;
    normal = {static_cast<float>(ay * bz - az * by), static_cast<float>(az * bx - ax * bz),
              static_cast<float>(ax * by - ay * bx)};
    return normal;
}

// One cell's share of the surface, as a frame makes it: the cube index, the crossings of the cut
// edges, then the triangles. Returns their count; 0 for a cell the surface does not cut (every
// cut configuration has at least one triangle).
inline int polygoniseCell(const GridCell& cell, const GridPoint* points, double isolevel,
                          Vec3 edgeVertices[kEdgesPerCell],
                          Triangle triangles[kMaxTrianglesPerCell]) {
    const int index = cubeIndex(cell, points, isolevel);
    if (!intersectEdges(edgeVertices, cell, points, index, isolevel)) return 0;
    return buildTriangles(triangles, edgeVertices, index);
}
