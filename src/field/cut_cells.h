#pragma once

#include <cstddef>
#include <cstdint>

#include "field/field.h"
#include "field/grid.h"
#include "field/simd.h"

// Finding the cells that the surface cuts, a row of cells at a time, looking only at the blocks
// that the field summary says the surface may cut.

// The blocks of cells to visit: for the column of blocks (a, b), element a * perAxis + b of the
// grid's lattice, bit c is set when block (a, b, c) is to be visited.
struct CutBlocks {
    std::uint32_t columns[kMaxBlocksPerAxis * kMaxBlocksPerAxis];
};
static_assert(kMaxBlocksPerAxis <= 32, "a column of blocks is one 32-bit mask");

// Every block whose range of values holds the isolevel: some value below it and some not (a cell
// is cut exactly when its corners are of both kinds). Every block when the summary does not
// describe the grid's values.
inline void findCutBlocks(CutBlocks& cutBlocks, const FieldSummary& summary, const Grid& grid,
                          double isolevel) {
    const BlockLattice& lattice = grid.lattice;
    const bool known = summaryCurrent(summary, grid);
    for (int a = 0; a < lattice.perAxis; ++a) {
        for (int b = 0; b < lattice.perAxis; ++b) {
            std::uint32_t mask = 0;
            for (int c = 0; c < lattice.perAxis; ++c) {
                const int e = lattice.index(a, b, c);
                // A NaN `greatest` passes: NaN is not below the isolevel.
                const bool cut =
                    !known || (summary.least[e] < isolevel && !(summary.greatest[e] < isolevel));
                if (cut) mask |= 1u << c;
            }
            cutBlocks.columns[a * lattice.perAxis + b] = mask;
        }
    }
}

// Bit t set when the isolevel is above the value of point[t], for t = 0 .. count (at most 63),
// as cubeIndex compares them.
inline std::uint64_t pointsBelow(const GridPoint* point, int count, double isolevel) {
    std::uint64_t below = 0;
    int t = 0;
    for (; t < count; t += 2) {
        const Pair values = loadPair(point[t].value, point[t + 1].value);
        below |= static_cast<std::uint64_t>(lanesBelow(values, isolevel)) << t;
    }
    for (; t <= count; ++t)
        below |= std::uint64_t{isolevel > point[t].value} << t;
    return below;
}

// Which of the cells [k, k + count) of the row of cells (i, j) the surface cuts, count at most
// 63. rows[] are the rows of points (i, j), (i, j + 1), (i + 1, j + 1) and (i + 1, j): cell k has
// their points k and k + 1 as its corners, in corner order. Point t of row r is below
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
inline void prefetchRow(const GridPoint* row, std::uint32_t mask, const BlockLattice& lattice) {
    constexpr std::size_t kLine = 64;  // bytes
    while (mask != 0) {
        const int block = __builtin_ctz(mask);
        mask &= mask - 1;
        const char* from = reinterpret_cast<const char*>(row + lattice.begin(block));
        const char* to = reinterpret_cast<const char*>(row + lattice.end(block) + 1);
        for (; from < to; from += kLine)
            __builtin_prefetch(from);
    }
}

// Calls visit(cell, index) for every cut cell of rows [rowBegin, rowEnd) along i, in storage
// order, with its cube index, looking only at the blocks in `cutBlocks`. A mesh of the whole grid
// takes rowBegin 0, rowEnd N and every bit of every column set; the corners' elements name the
// cell's edges, which neighbouring cells share.
template <typename Visit>
void forEachCutCell(const CutBlocks& cutBlocks, const Grid& grid, double isolevel, int rowBegin,
                    int rowEnd, Visit&& visit) {
    constexpr int kCellsAtOnce = 63;  // and their 64 points in one 64-bit mask
    const BlockLattice& lattice = grid.lattice;
    const int n = grid.cellsPerAxis;
    for (int i = rowBegin; i < rowEnd; ++i) {
        const std::uint32_t* column =
            cutBlocks.columns + static_cast<std::size_t>(i / lattice.cells) * lattice.perAxis;
        for (int j = 0; j < n; ++j) {
            // Two rows of cells ahead: the two rows of points that row j + 1 takes up anew.
            if (j + 2 <= n) {
                const std::uint32_t ahead = column[(j + 1) / lattice.cells];
                prefetchRow(grid.points + pointIndex(grid, i, j + 2, 0), ahead, lattice);
                prefetchRow(grid.points + pointIndex(grid, i + 1, j + 2, 0), ahead, lattice);
            }
            std::uint32_t mask = column[j / lattice.cells];
            if (mask == 0) continue;
            const GridCell rowStart = gridCell(grid, i, j, 0);
            const GridPoint* const rows[4] = {grid.points + pointIndex(grid, i, j, 0),
                                              grid.points + pointIndex(grid, i, j + 1, 0),
                                              grid.points + pointIndex(grid, i + 1, j + 1, 0),
                                              grid.points + pointIndex(grid, i + 1, j, 0)};
            while (mask != 0) {
                // A run of neighbouring blocks is one stretch of the row.
                const int first = __builtin_ctz(mask);
                int end = first + 1;
                while (end < 32 && (mask >> end & 1u))
                    ++end;
                mask = end < 32 ? mask & (~0u << end) : 0u;
                const int kEnd = lattice.end(end - 1);
                for (int k = lattice.begin(first); k < kEnd; k += kCellsAtOnce) {
                    const int count = kEnd - k < kCellsAtOnce ? kEnd - k : kCellsAtOnce;
                    const RowCut row = cutCells(rows, k, count, isolevel);
                    for (std::uint64_t cut = row.cut; cut != 0; cut &= cut - 1) {
                        const int t = __builtin_ctzll(cut);
                        visit(cellAlongRow(grid, rowStart, k + t), cubeIndexFromRows(row, t));
                    }
                }
            }
        }
    }
}
