#!/usr/bin/python3
"""Reads a mesh file with meshio and prints its vertices, its triangles, and how its edges pair
up: "unpaired" edges are not walked once each way by two triangles, and do not lie in a face of
the cube (both ends at the same coordinate +-32); "cut" edges lie in a face and have one
triangle, where the cube cuts the surface open."""
import collections
import sys

import meshio

mesh = meshio.read(sys.argv[1])
points = mesh.points.tolist()
triangles = [t for block in mesh.cells if block.type == "triangle" for t in block.data.tolist()]
walked = collections.Counter()
for a, b, c in triangles:
    for u, v in ((a, b), (b, c), (c, a)):
        walked[u, v] += 1


def in_face(u, v):
    return any(abs(points[u][k]) == 32 and points[u][k] == points[v][k] for k in range(3))


unpaired = cut = 0
for (u, v), count in walked.items():
    back = walked.get((v, u), 0)
    if count == 1 and back == 1:
        continue
    if count == 1 and back == 0 and in_face(u, v):
        cut += 1
    else:
        unpaired += 1
print(len(points), len(triangles), unpaired, cut)
