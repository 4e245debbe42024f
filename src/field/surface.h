#pragma once

#include <cstddef>
#include <cstdint>

#include "field/field.h"
#include "field/grid.h"
#include "field/parallel.h"
#include "field/polygoniser.h"

// The isosurface of a grid, extracted once and kept for as long as nothing that shapes it
// changes, so that frames which only move the camera or change the selection or the lighting
// draw it again without polygonising the grid. Pure computation, no OpenGL.

// One triangle as a frame draws it: its normal from triangleNormal, then its vertices in order.
struct SurfaceTriangle {
    float normal[3];
    Vec3 vertices[3];
};

// The cut cells of a run of the grid's rows along i, in storage order. Storage grows as needed
// and is kept for the next extraction.
struct SurfacePart {
    unsigned char* cellTriangles = nullptr;  // triangles of each cut cell, 1 .. 5
    std::size_t cellCount = 0;
    std::size_t cellCapacity = 0;
    SurfaceTriangle* triangles = nullptr;  // the cells' triangles, one cell after another
    std::size_t triangleCount = 0;
    std::size_t triangleCapacity = 0;
};

// The extracted surface and what it was extracted from. Staleness is decided by comparing all of
// that with the grid and isolevel at hand, so no caller needs to mark it.
struct SurfaceCache {
    const GridCell* cells = nullptr;
    const GridPoint* points = nullptr;
    int cellsPerAxis = -1;
    double isolevel = 0.0;
    std::uint64_t writeCount = 0;  // gridWriteCount() at the extraction
    bool complete = false;         // false: nothing kept (not extracted yet, or out of storage)
    int partCount = 0;             // the surface is parts[0], parts[1], ... in this order
    SurfacePart parts[kMaxParts];
};

// The blocks of cells that the surface may cut: for the column of blocks (a, b), element
// a * blocksPerAxis + b, bit c is set when block (a, b, c) is to be visited.
struct CutBlocks {
    int blockCells;
    int blocksPerAxis;
    std::uint32_t columns[kMaxBlocksPerAxis * kMaxBlocksPerAxis];
};
static_assert(kMaxBlocksPerAxis <= 32, "a column of blocks is one 32-bit mask");

// Every block whose range of values holds the isolevel: some value below it and some not (a cell
// is cut exactly when its corners are of both kinds). Every block when the summary does not
// describe the values of `points`.
void findCutBlocks(CutBlocks& blocks, const FieldSummary& summary, int n, const GridPoint* points,
                   double isolevel);

// Calls visit(triangles, count) with the triangles of every cut cell of rows [rowBegin, rowEnd)
// along i, in storage order, visiting only the cells of the blocks in `blocks`.
template <typename Visit>
void forEachCutCell(const CutBlocks& blocks, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, int rowBegin, int rowEnd, Visit&& visit) {
    Vec3 edgeVertices[kEdgesPerCell];
    Triangle triangles[kMaxTrianglesPerCell];
    const std::size_t side = static_cast<std::size_t>(n);
    const int blockCells = blocks.blockCells;
    for (int i = rowBegin; i < rowEnd; ++i) {
        const std::uint32_t* column =
            blocks.columns + static_cast<std::size_t>(i / blockCells) * blocks.blocksPerAxis;
        for (int j = 0; j < n; ++j) {
            std::uint32_t mask = column[j / blockCells];
            const GridCell* row = cells + (i * side + j) * side;
            while (mask != 0) {
                // A run of neighbouring blocks is one stretch of the row.
                const int first = __builtin_ctz(mask);
                int end = first + 1;
                while (end < 32 && (mask >> end & 1u))
                    ++end;
                mask = end < 32 ? mask & (~0u << end) : 0u;
                const int kEnd = end * blockCells < n ? end * blockCells : n;
                for (int k = first * blockCells; k < kEnd; ++k) {
                    const int count =
                        polygoniseCell(row[k], points, isolevel, edgeVertices, triangles);
                    if (count > 0) visit(static_cast<const Triangle*>(triangles), count);
                }
            }
        }
    }
}

// Extracts the surface afresh into the cache, on several threads, each part of rows into its
// own SurfacePart. False when storage ran out: nothing is kept then.
bool extractSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, const FieldSummary& summary);

// Keeps the surface when it was extracted from these cells, points, N and isolevel and no grid
// data has been written since; extracts it afresh otherwise. False as for extractSurface.
bool updateSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                   double isolevel, const FieldSummary& summary);
