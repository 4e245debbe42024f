#pragma once

// The surface as a file other programs read: PLY (binary, little-endian) and OBJ with a normal
// per vertex, or binary STL, whose triangles carry their own normals. Coordinates in world
// units.

#include <cstddef>

#include "field/mesh.h"

enum class MeshFormat { kPly, kObj, kStl };

// The format the name's extension asks for: .ply, .obj or .stl, in any case. False for another.
bool meshFormatOf(const char* path, MeshFormat& format);

// Takes the bytes of a file, piece after piece.
using ByteSink = void (*)(void* context, const char* bytes, std::size_t size);

// Hands the bytes of the mesh's file in that format to `sink`, in pieces of some tens of KiB
// (the file is never whole in memory).
void encodeMesh(const SurfaceMesh& mesh, MeshFormat format, ByteSink sink, void* context);
