#pragma once

#include <cstddef>
#include <cstdint>
#include <new>

// The sample grid: (N+1)^3 points filling a cube of edge kNetWidth centred on the origin, and
// the N^3 cubic cells between them. Pure computation, no OpenGL.

constexpr double kNetWidth = 64.0;  // edge of the sampled cube, world units

struct Vec3 {
    float x, y, z;
};

// One sample point; point (i, j, k) is element (i*(N+1) + j)*(N+1) + k, k (along z) fastest.
// Arrays of points and cells are obtained with new (std::nothrow) and released with delete[];
// they live in grid storage (see grid.cpp), on huge pages where the system offers them.
struct GridPoint {
    Vec3 position;  // world units, exact multiples of the cell size
    double value;   // field at position, 0 .. number of enabled balls

    static void* operator new[](std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete[](void* storage) noexcept;
};

// A 4-byte reference to a grid point: its offset in bytes from the start of the grid's `points`.
// Four bytes instead of a pointer's eight halve the cell array, which every frame reads whole;
// a byte offset, not an element number, resolves with a single addition.
using PointRef = std::uint32_t;

// The reference to element `element` of a point array.
constexpr PointRef pointRef(std::size_t element) {
    return static_cast<PointRef>(element * sizeof(GridPoint));
}

// The point that `ref` refers to in `points`.
inline const GridPoint& pointAt(const GridPoint* points, PointRef ref) {
    return *reinterpret_cast<const GridPoint*>(reinterpret_cast<const char*>(points) + ref);
}

// One cell; cell (i, j, k) is element (i*N + j)*N + k. Corners 0..3 go around the face of
// lower z starting at (i, j, k): +y, then +x, then -y; corner c+4 lies one cell above corner c.
struct GridCell {
    PointRef corners[8];

    static void* operator new[](std::size_t size, const std::nothrow_t&) noexcept;
    static void operator delete[](void* storage) noexcept;
};

// Returned by allocateGrid when the arrays for a cell size cannot be obtained.
constexpr int kGridAllocationFailed = -1;

// Obtains arrays for the cell size and returns N = trunc(netWidth / voxelSize). The new arrays
// are obtained before the old ones are released; when they cannot be had (or N is out of range:
// points beyond the reach of a PointRef) the old arrays stay untouched and
// kGridAllocationFailed is returned. Contents are left unset.
int allocateGrid(double netWidth, double voxelSize, GridCell*& cells, GridPoint*& points);

// The references of the eight corners of cell (0, 0, 0) of a grid of N = n, in corner order; those
// of any cell are these plus the reference of its corner 0.
void cornerOffsets(int n, PointRef offsets[8]);

// Sets every point's position and every cell's corner references; values are not touched.
void buildGrid(double voxelSize, int n, GridCell* cells, GridPoint* points);

// How many times grid data (positions, corner references, field values) has been written by
// buildGrid or a field pass since the process started. Anything derived from a grid's data keeps
// the count it was made at and is stale once the count has moved on, so that no caller has to
// remember to mark it.
std::uint64_t gridWriteCount();

// Advances gridWriteCount; every function that writes grid data calls it.
void countGridWrite();
