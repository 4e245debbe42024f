#!/usr/bin/python3
"""Reads a mesh file with meshio and prints its vertices, its triangles, and how its edges pair
up: "unpaired" edges are not walked once each way by two triangles, and do not lie in a face of
the cube (both ends at the same coordinate +-32); "cut" edges lie in a face and have one
triangle, where the cube cuts the surface open. Then "against": the triangles whose winding
faces away from the mean of their corners' normals (for a file with normals); and, given a second
file, "off": the largest difference of a triangle's corner from the same corner there, in
single precision, which both files hold exactly."""
import collections
import sys

import meshio
import numpy

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
corners = mesh.points.astype(numpy.float32)[numpy.array(triangles)]
normals = None
if "nx" in mesh.point_data:
    normals = numpy.stack([mesh.point_data[k] for k in ("nx", "ny", "nz")], axis=1)
elif "obj:vn" in mesh.point_data:
    normals = mesh.point_data["obj:vn"]
against = 0
if normals is not None:
    winding = numpy.cross(corners[:, 1] - corners[:, 0], corners[:, 2] - corners[:, 0])
    mean = normals[numpy.array(triangles)].sum(axis=1)
    against = int(((winding * mean).sum(axis=1) <= 0).sum())
off = 0.0
if len(sys.argv) > 2:
    other = meshio.read(sys.argv[2])
    others = [t for block in other.cells if block.type == "triangle" for t in block.data.tolist()]
    reference = other.points.astype(numpy.float32)[numpy.array(others)]
    off = float(numpy.abs(corners - reference).max()) if reference.shape == corners.shape else 1e9
print(len(points), len(triangles), unpaired, cut, against, off)
