#pragma once

#include <cstddef>
#include <cstdint>

// The sample grid: (N+1)^3 points filling a cube of edge kNetWidth centred on the origin, the
// N^3 cubic cells between them, and the blocks of cells that the field summary and the kept
// surface work in. Pure computation, no OpenGL.

constexpr double kNetWidth = 64.0;  // edge of the sampled cube, world units

struct Vec3 {
    float x, y, z;
};

// The field at one sample point, 0 .. number of enabled balls. Point (i, j, k) is element
// (i*(N+1) + j)*(N+1) + k of the grid's points, k (along z) fastest. Its position is not stored:
// it is (axis[i], axis[j], axis[k]) of the grid's axis, the same coordinates on all three axes.
struct GridPoint {
    double value;
};

// Offsets of a cell's corners in cells along i, j and k: corners 0..3 go around the face of lower
// z starting at (i, j, k): +y, then +x, then -y; corner c+4 lies one cell above corner c.
inline constexpr int kCornerOffsets[8][3] = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0},
                                             {0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}};

// One cell, as the extraction makes it for each cut cell; the grid keeps no array of them.
struct GridCell {
    std::size_t corners[8];  // element of each corner in the grid's points
    Vec3 positions[8];       // and its position
};

// Cells along each side of a block (4, 8 and 16 measured about the same; 8 was a little ahead).
// Grids of more than kMaxBlocksPerAxis blocks per axis get larger blocks.
constexpr int kBlockCells = 8;
constexpr int kMaxBlocksPerAxis = 16;
constexpr int kMaxBlocks = kMaxBlocksPerAxis * kMaxBlocksPerAxis * kMaxBlocksPerAxis;

// The grid's cells in cubic blocks: block (a, b, c) holds the cells [begin(a), end(a)) along i,
// and so on; the last block along each axis may be short. Its points are those of its cells,
// [begin(a), end(a)] along i: neighbouring blocks share a face of points.
struct BlockLattice {
    int cellsPerAxis = 0;  // of the grid
    int cells = 0;         // cells along each side of a block
    int perAxis = 0;       // blocks along each axis

    int index(int a, int b, int c) const { return (a * perAxis + b) * perAxis + c; }
    int begin(int a) const { return a * cells; }
    int end(int a) const { return (a + 1) * cells < cellsPerAxis ? (a + 1) * cells : cellsPerAxis; }
};

BlockLattice blockLattice(int n);

// The grid of one voxel size. Every change of its points (N, positions or values) advances
// `version`, so that whatever was made from the grid knows by the version it kept whether it is
// still current. The storage is the grid's own, kept across voxel sizes and grown when needed.
struct Grid {
    int cellsPerAxis = 0;         // N = trunc(kNetWidth / voxelSize)
    double voxelSize = 0.0;       // world units
    GridPoint* points = nullptr;  // (N+1)^3 values, then the axis, in the grid's own storage
    float* axis = nullptr;        // the N+1 coordinates along each axis, lowest first
    BlockLattice lattice;
    std::uint64_t version = 0;     // advanced by every change; 0 only before the first
    std::size_t storageBytes = 0;  // of the storage; 0 before the first voxel size
};

// Makes `grid` the grid of `voxelSize`: N, the axis and the lattice; values are left unset. The
// storage is kept when it is large enough, else new storage is obtained before the old is given
// up. When it cannot be had (or N is out of range) the grid stays as it was and false is returned.
bool setVoxelSize(Grid& grid, double voxelSize);

// Gives the grid's storage back; the grid then has no points until its next voxel size.
void releaseGrid(Grid& grid);

// Bumps the version after the values have been written by something else than the field passes.
inline void valuesChanged(Grid& grid) {
    ++grid.version;
}

inline std::size_t pointCount(const Grid& grid) {
    const std::size_t side = static_cast<std::size_t>(grid.cellsPerAxis) + 1;
    return side * side * side;
}

inline std::size_t pointIndex(const Grid& grid, int i, int j, int k) {
    const std::size_t side = static_cast<std::size_t>(grid.cellsPerAxis) + 1;
    return (i * side + j) * side + k;
}

inline Vec3 pointPosition(const Grid& grid, int i, int j, int k) {
    return {grid.axis[i], grid.axis[j], grid.axis[k]};
}

// Cell (i, j, k), 0 <= i, j, k < N.
inline GridCell gridCell(const Grid& grid, int i, int j, int k) {
    const std::size_t dy = static_cast<std::size_t>(grid.cellsPerAxis) + 1;
    const std::size_t dx = dy * dy;
    const std::size_t first = pointIndex(grid, i, j, k);
    GridCell cell;
    for (int c = 0; c < 8; ++c) {
        const int* offset = kCornerOffsets[c];
        cell.corners[c] = first + offset[0] * dx + offset[1] * dy + offset[2];
        cell.positions[c] = pointPosition(grid, i + offset[0], j + offset[1], k + offset[2]);
    }
    return cell;
}

// Cell (i, j, k) from `cell`, cell (i, j, 0) of the same grid: the next cells along a row differ
// only in their corners' elements and z.
inline GridCell cellAlongRow(const Grid& grid, const GridCell& cell, int k) {
    GridCell along = cell;
    for (int c = 0; c < 8; ++c) {
        along.corners[c] += k;
        along.positions[c].z = grid.axis[k + kCornerOffsets[c][2]];
    }
    return along;
}
