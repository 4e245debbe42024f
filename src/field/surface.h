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

// The cut cells of a run of the grid's rows along i, in storage order. Storage grows as needed
// and is kept for the next extraction.
struct SurfacePart {
    unsigned char* cellTriangles = nullptr;  // triangles of each cut cell, 1 .. 5
    std::size_t cellCount = 0;
    std::size_t cellCapacity = 0;
    Triangle* triangles = nullptr;  // the cells' triangles, one cell after another
    Vec3* normals = nullptr;        // triangleNormal of each of them
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

// Bit t set when the isolevel is above the value of point[t], for t = 0 .. count (at most 63),
// as cubeIndex compares them.
inline std::uint64_t pointsBelow(const GridPoint* point, int count, double isolevel) {
    std::uint64_t below = 0;
    int t = 0;
#ifdef __SSE2__
    const __m128d level = _mm_set1_pd(isolevel);
    for (; t < count; t += 2) {
        const __m128d values = _mm_loadh_pd(_mm_load_sd(&point[t].value), &point[t + 1].value);
        below |= static_cast<std::uint64_t>(_mm_movemask_pd(_mm_cmplt_pd(values, level))) << t;
    }
#endif
    for (; t <= count; ++t)
        below |= std::uint64_t{isolevel > point[t].value} << t;
    return below;
}

// The cells [k, k + count) of the row of cells (i, j) that the surface cuts, as bits (cell k + t
// is bit t), count at most 63. rows[] are the rows of points (i, j), (i, j + 1), (i + 1, j + 1)
// and (i + 1, j): cell k has their points k and k + 1 as its corners, in the order of buildGrid.
// A cell is cut when some corner lies below the isolevel and some does not: exactly the cells for
// which polygoniseCell gives triangles, found with one comparison per point instead of eight
// corner look-ups per cell.
inline std::uint64_t cutCells(const GridPoint* const rows[4], int k, int count, double isolevel) {
    std::uint64_t allBelow = ~std::uint64_t{0};
    std::uint64_t anyBelow = 0;
    for (int r = 0; r < 4; ++r) {
        const std::uint64_t below = pointsBelow(rows[r] + k, count, isolevel);
        allBelow &= below;
        anyBelow |= below;
    }
    const std::uint64_t cells = (std::uint64_t{1} << count) - 1;
    return ~(allBelow & allBelow >> 1) & (anyBelow | anyBelow >> 1) & cells;
}

// Asks for the points of a row of points that the blocks in `mask` need, ahead of their use: the
// stretches of rows that a frame visits are short and scattered, too much so for the processor
// to foresee, and at N = 128 waiting for them took most of the extraction.
inline void prefetchRow(const GridPoint* row, std::uint32_t mask, int blockCells, int n) {
    constexpr std::size_t kLine = 64;  // bytes
    while (mask != 0) {
        const int block = __builtin_ctz(mask);
        mask &= mask - 1;
        const int kEnd = (block + 1) * blockCells < n ? (block + 1) * blockCells : n;
        const char* from = reinterpret_cast<const char*>(row + block * blockCells);
        const char* to = reinterpret_cast<const char*>(row + kEnd + 1);
        for (; from < to; from += kLine)
            __builtin_prefetch(from);
    }
}

// Calls visit(cell) for every cut cell of rows [rowBegin, rowEnd) along i, in storage order,
// looking only at the blocks in `blocks`. The cells must be as buildGrid made them for N = n.
template <typename Visit>
void forEachCutCell(const CutBlocks& blocks, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, int rowBegin, int rowEnd, Visit&& visit) {
    constexpr int kCellsAtOnce = 63;  // and their 64 points in one 64-bit mask
    const std::size_t side = static_cast<std::size_t>(n);
    const std::size_t pointSide = side + 1;
    const int blockCells = blocks.blockCells;
    for (int i = rowBegin; i < rowEnd; ++i) {
        const std::uint32_t* column =
            blocks.columns + static_cast<std::size_t>(i / blockCells) * blocks.blocksPerAxis;
        for (int j = 0; j < n; ++j) {
            // Two rows of cells ahead: the two rows of points that row j + 1 takes up anew.
            if (j + 2 <= n) {
                const std::uint32_t ahead = column[(j + 1) / blockCells];
                prefetchRow(points + (i * pointSide + j + 2) * pointSide, ahead, blockCells, n);
                prefetchRow(points + ((i + 1) * pointSide + j + 2) * pointSide, ahead, blockCells,
                            n);
            }
            std::uint32_t mask = column[j / blockCells];
            if (mask == 0) continue;
            const GridCell* row = cells + (i * side + j) * side;
            const GridPoint* const rows[4] = {points + (i * pointSide + j) * pointSide,
                                              points + (i * pointSide + j + 1) * pointSide,
                                              points + ((i + 1) * pointSide + j + 1) * pointSide,
                                              points + ((i + 1) * pointSide + j) * pointSide};
            while (mask != 0) {
                // A run of neighbouring blocks is one stretch of the row.
                const int first = __builtin_ctz(mask);
                int end = first + 1;
                while (end < 32 && (mask >> end & 1u))
                    ++end;
                mask = end < 32 ? mask & (~0u << end) : 0u;
                const int kEnd = end * blockCells < n ? end * blockCells : n;
                for (int k = first * blockCells; k < kEnd; k += kCellsAtOnce) {
                    const int count = kEnd - k < kCellsAtOnce ? kEnd - k : kCellsAtOnce;
                    for (std::uint64_t cut = cutCells(rows, k, count, isolevel); cut != 0;
                         cut &= cut - 1) {
                        visit(row[k + __builtin_ctzll(cut)]);
                    }
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
