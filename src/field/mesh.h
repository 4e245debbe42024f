#pragma once

#include <cstddef>
#include <cstdint>

#include "field/field.h"
#include "field/grid.h"

// The isosurface as an indexed triangle mesh, for files that other programs read: one vertex per
// cut grid edge, shared by every triangle that meets there, and a normal per vertex. Pure
// computation, no OpenGL and no files.

struct SurfaceMesh {
    Vec3* positions = nullptr;         // world units, one per vertex
    Vec3* normals = nullptr;           // unit length, one per vertex; (0, 0, 0) when unused
    std::size_t vertexCount = 0;       // cut grid edges (see buildSurfaceMesh)
    std::uint32_t* indices = nullptr;  // three per triangle, in the frame's order
    std::size_t triangleCount = 0;     // triangles kept
    std::size_t droppedTriangles = 0;  // triangles of zero area the frame draws but not kept
    std::size_t vertexCapacity = 0;    // storage, in vertices and in triangles
    std::size_t triangleCapacity = 0;
};

// Makes `mesh` the surface at `isolevel` of `grid` (the summary, when current, lets whole blocks
// be passed over, as the frame does). Cells are visited
// in the frame's order and polygonised with its own functions, so the triangles are the frame's,
// in its order, less those of zero area (the surface through a grid point), each wound so that
// it faces out of the solid where the field exceeds the isolevel (the frame's winding reversed,
// as files expect it). A vertex is found by
// the grid edge its crossing lies on, never by comparing positions, and has the position the
// frame draws for the first of its triangles; a crossing at a grid point itself (its value
// equals the isolevel) is one vertex for all the edges that meet there, so that the triangles
// it flattens drop out without leaving a hole. False, with the mesh emptied, when storage ran
// out. The storage is kept for the next call.
bool buildSurfaceMesh(SurfaceMesh& mesh, const Grid& grid, double isolevel,
                      const FieldSummary& summary);

// Gives the mesh's storage back.
void releaseSurfaceMesh(SurfaceMesh& mesh);
