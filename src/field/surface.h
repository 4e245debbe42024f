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

// The cut cells of a slab of the grid's rows along i, in storage order. Storage grows as needed
// and is kept for the next extraction.
struct SurfacePart {
    unsigned char* cellTriangles = nullptr;  // triangles of each cut cell, 1 .. 5
    std::size_t cellCount = 0;
    std::size_t cellCapacity = 0;
    Triangle* triangles = nullptr;  // the cells' triangles, one cell after another
    std::size_t triangleCount = 0;
    std::size_t triangleCapacity = 0;
};

// The blocks of cells that the surface may cut: for the column of blocks (a, b), element
// a * blocksPerAxis + b, bit c is set when block (a, b, c) is to be visited.
struct CutBlocks {
    int blockCells;
    int blocksPerAxis;
    std::uint32_t columns[kMaxBlocksPerAxis * kMaxBlocksPerAxis];
};
static_assert(kMaxBlocksPerAxis <= 32, "a column of blocks is one 32-bit mask");

// The extracted surface, one slab per row of blocks along i (rows [a * blockCells, (a + 1) *
// blockCells) of slab a), and what it was extracted from. Staleness is decided by comparing all
// of that with the grid and isolevel at hand, so no caller needs to mark it.
struct SurfaceCache {
    const GridCell* cells = nullptr;
    const GridPoint* points = nullptr;
    int cellsPerAxis = -1;
    double isolevel = 0.0;
    std::uint64_t writeCount = 0;  // gridWriteCount() at the extraction
    bool complete = false;         // every slab kept; false before the first extraction
    CutBlocks blocks{};            // the blocks the extraction visited
    int slabCount = 0;
    SurfacePart slabs[kMaxBlocksPerAxis];
    bool kept[kMaxBlocksPerAxis]{};  // the slab is in `slabs`; false: storage ran out
};
static_assert(kMaxBlocksPerAxis <= kMaxSharedItems, "a slab is an item of shared work");

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

// Which of the cells [k, k + count) of the row of cells (i, j) the surface cuts, count at most
// 63. rows[] are the rows of points (i, j), (i, j + 1), (i + 1, j + 1) and (i + 1, j): cell k has
// their points k and k + 1 as its corners, in the order of buildGrid. Point t of row r is below
// the isolevel when bit t of below[r] is set.
struct RowCut {
    std::uint64_t below[4];
    std::uint64_t cut;  // cell k + t is cut when bit t is set
};

// A cell is cut when some corner lies below the isolevel and some does not: exactly the cells for
// which polygoniseCell gives triangles, found with one comparison per point instead of eight
// corner look-ups per cell.
inline RowCut cutCells(const GridPoint* const rows[4], int k, int count, double isolevel) {
    RowCut row;
    std::uint64_t allBelow = ~std::uint64_t{0};
    std::uint64_t anyBelow = 0;
    for (int r = 0; r < 4; ++r) {
        row.below[r] = pointsBelow(rows[r] + k, count, isolevel);
        allBelow &= row.below[r];
        anyBelow |= row.below[r];
    }
    const std::uint64_t cells = (std::uint64_t{1} << count) - 1;
    row.cut = ~(allBelow & allBelow >> 1) & (anyBelow | anyBelow >> 1) & cells;
    return row;
}

// The cube index of cell k + t from the bits of its corners: what cubeIndex gives, without
// looking the corners up again. Corners 0 to 3 are point t of the four rows, 4 to 7 point t + 1.
inline int cubeIndexFromRows(const RowCut& row, int t) {
    int index = 0;
    for (int r = 0; r < 4; ++r) {
        index |= static_cast<int>(row.below[r] >> t & 1u) << r;
        index |= static_cast<int>(row.below[r] >> (t + 1) & 1u) << (r + 4);
    }
    return index;
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

// Calls visit(cell, index) for every cut cell of rows [rowBegin, rowEnd) along i, in storage
// order, with its cube index, looking only at the blocks in `blocks`. The cell is made here the
// way buildGrid makes cell (i, j, k) of a grid of N = n, so the cell array itself, which would
// cost a trip to memory for each cut cell, is not read.
template <typename Visit>
void forEachCutCell(const CutBlocks& blocks, const GridPoint* points, int n, double isolevel,
                    int rowBegin, int rowEnd, Visit&& visit) {
    constexpr int kCellsAtOnce = 63;  // and their 64 points in one 64-bit mask
    const std::size_t pointSide = static_cast<std::size_t>(n) + 1;
    const std::size_t dx = pointSide * pointSide;
    const std::size_t dy = pointSide;
    PointRef offsets[8];
    cornerOffsets(n, offsets);
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
            const std::size_t rowStart = (i * pointSide + j) * pointSide;
            const GridPoint* const rows[4] = {points + rowStart, points + rowStart + dy,
                                              points + rowStart + dx + dy, points + rowStart + dx};
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
                    const RowCut row = cutCells(rows, k, count, isolevel);
                    for (std::uint64_t cut = row.cut; cut != 0; cut &= cut - 1) {
                        const int t = __builtin_ctzll(cut);
                        GridCell cell;
                        const PointRef corner0 = pointRef(rowStart + k + t);
                        for (int c = 0; c < 8; ++c)
                            cell.corners[c] = corner0 + offsets[c];
                        visit(cell, cubeIndexFromRows(row, t));
                    }
                }
            }
        }
    }
}

// First and last row + 1 along i of a slab.
inline int slabBegin(const SurfaceCache& surface, int slab) {
    return slab * surface.blocks.blockCells;
}
inline int slabEnd(const SurfaceCache& surface, int slab) {
    const int end = (slab + 1) * surface.blocks.blockCells;
    return end < surface.cellsPerAxis ? end : surface.cellsPerAxis;
}

// Brings the kept surface up to date and calls use(context, surface, slab) for every slab in
// order, on the calling thread. When the surface must be extracted afresh (the cells, points, N
// or isolevel differ from those it was extracted from, or grid data has been written since), a
// helper thread extracts slabs ahead while the caller uses the ones that are ready, so that the
// caller's work on one slab overlaps the extraction of the next. A slab for which storage ran
// out is not kept: the caller finds kept[slab] false and polygonises its rows itself.
void useSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                double isolevel, const FieldSummary& summary,
                void (*use)(void* context, const SurfaceCache& surface, int slab), void* context);

// For tests: during the extractions that follow, the slabs whose bit is set (bit s for slab s) get
// no storage, as when the system has none left, and so are not kept; 0 refuses none. Not while an
// extraction runs.
void refuseSlabStorage(std::uint32_t slabs);

// Extracts the surface afresh, whatever was kept, and returns once it is complete. False when
// storage ran out for some slab.
bool extractSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, const FieldSummary& summary);
