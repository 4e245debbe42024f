#pragma once

#include "field/grid.h"

constexpr int kMaxTrianglesPerCell = 5;
constexpr int kEdgesPerCell = 12;

struct Triangle {
    Vec3 vertices[3];
};

// Corner classification: bit c is set when the isolevel is strictly above corner c's value.
int cubeIndex(const GridCell& cell, double isolevel);

// Fills edgeVertices[e] with the crossing on every cut edge e; false (nothing written) when no
// edge is cut. Entries of uncut edges keep what an earlier cell left.
bool intersectEdges(Vec3 edgeVertices[kEdgesPerCell], const GridCell& cell, int index,
                    double isolevel);

// The crossing of the isolevel on the edge from p1 to p2, linear in the two values.
Vec3 interpolateVertex(double isolevel, const GridPoint& p1, const GridPoint& p2);

// Copies the triangles of configuration `index` out of edgeVertices; returns their count (0..5).
int buildTriangles(Triangle triangles[kMaxTrianglesPerCell],
                   const Vec3 edgeVertices[kEdgesPerCell], int index);

// The unnormalised normal (V - U) x (W - U), written to `normal` and returned.
Vec3& triangleNormal(const Triangle& triangle, Vec3& normal);
