#pragma once

// The surface as a file other programs read: PLY (binary, little-endian) and OBJ with a normal
// per vertex, or binary STL, whose triangles carry their own normals. Coordinates in world
// units.

#include <cstddef>

#include "field/mesh.h"

enum class MeshFormat { kPly, kObj, kStl };

// The format the name's extension asks for: .ply, .obj or .stl, in any case. False for another.
bool meshFormatOf(const char* path, MeshFormat& format);

// The bytes of the mesh's file in that format, in storage from malloc that the caller frees.
// Null when the memory cannot be had.
char* encodeMesh(const SurfaceMesh& mesh, MeshFormat format, std::size_t& size);
