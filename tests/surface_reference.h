#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "field/memory.h"
#include "field/surface.h"

// The surface as the plain frame makes it: every cell of the grid made and polygonised in
// storage order.
struct ReferenceSurface {
    std::vector<int> cellTriangles;  // per cut cell
    std::vector<Triangle> triangles;
    std::vector<Vec3> normals;
};

inline ReferenceSurface referenceSurface(const Grid& grid, double isolevel) {
    ReferenceSurface surface;
    std::vector<GridCell> cells;
    for (int i = 0; i < grid.cellsPerAxis; ++i)
        for (int j = 0; j < grid.cellsPerAxis; ++j)
            for (int k = 0; k < grid.cellsPerAxis; ++k)
                cells.push_back(gridCell(grid, i, j, k));
    Vec3 edgeVertices[kEdgesPerCell];
    Triangle triangles[kMaxTrianglesPerCell];
    for (const GridCell& cell : cells) {
        const int made = polygoniseCell(cell, grid.points, isolevel, edgeVertices, triangles);
        if (made == 0) continue;
        surface.cellTriangles.push_back(made);
        for (int t = 0; t < made; ++t) {
            Vec3 normal;
            surface.normals.push_back(triangleNormal(triangles[t], normal));
            surface.triangles.push_back(triangles[t]);
        }
    }
    return surface;
}

// The kept surface holds exactly the reference's cells and triangles, bit for bit.
inline ::testing::AssertionResult sameSurface(const KeptSurface& kept,
                                              const ReferenceSurface& reference) {
    std::size_t cell = 0;
    std::size_t triangle = 0;
    for (int slab = 0; slab < kept.slabCount; ++slab) {
        if (!kept.kept[slab]) return ::testing::AssertionFailure() << "slab " << slab << " lost";
        const SurfaceCells& cells = kept.slabs[slab];
        for (std::size_t c = 0; c < cells.cellCount; ++c, ++cell) {
            if (cell >= reference.cellTriangles.size() ||
                cells.cellTriangles[c] != reference.cellTriangles[cell])
                return ::testing::AssertionFailure() << "cut cell " << cell << " differs";
        }
        for (std::size_t t = 0; t < cells.triangleCount; ++t, ++triangle) {
            if (triangle >= reference.triangles.size() ||
                std::memcmp(&cells.triangles[t], &reference.triangles[triangle],
                            sizeof(Triangle)) != 0)
                return ::testing::AssertionFailure() << "triangle " << triangle << " differs";
        }
    }
    if (cell != reference.cellTriangles.size() || triangle != reference.triangles.size())
        return ::testing::AssertionFailure()
               << cell << " cut cells and " << triangle << " triangles kept instead of "
               << reference.cellTriangles.size() << " and " << reference.triangles.size();
    return ::testing::AssertionSuccess();
}

// Grid edges whose ends lie on both sides of the isolevel, counted from the values alone.
inline std::size_t countCutEdges(const GridPoint* points, int n, double isolevel) {
    const std::size_t side = n + 1;
    std::size_t cut = 0;
    for (std::size_t p = 0; p < side * side * side; ++p) {
        const std::size_t at[3] = {p / (side * side), p / side % side, p % side};
        const std::size_t step[3] = {side * side, side, 1};
        for (int axis = 0; axis < 3; ++axis) {
            if (at[axis] + 1 < side)
                cut += (isolevel > points[p].value) != (isolevel > points[p + step[axis]].value);
        }
    }
    return cut;
}

// For as long as it lives, the chosen slabs of `surface` (bit s: slab s) have no storage and no
// storage is to be had, so the next extraction cannot keep them; the other slabs keep theirs,
// enough for the surface they held. The surface is to be extracted afresh. At its end the slabs'
// storage and the system's storage are given back.
struct SlabsWithoutStorage {
    SlabsWithoutStorage(KeptSurface& kept, std::uint32_t slabs) : surface(kept), chosen(slabs) {
        for (int slab = 0; slab < kMaxBlocksPerAxis; ++slab) {
            if (!(chosen >> slab & 1u)) continue;
            taken[slab] = surface.slabs[slab];
            surface.slabs[slab] = SurfaceCells{};
        }
        surface.complete = false;
        static const FieldStorage kNone = {
            mapAlignedPages, unmapAlignedPages,
            [](void*, std::size_t, std::size_t) -> void* { return nullptr; }};
        setFieldStorage(&kNone);
    }
    ~SlabsWithoutStorage() {
        setFieldStorage(nullptr);
        for (int slab = 0; slab < kMaxBlocksPerAxis; ++slab) {
            if (chosen >> slab & 1u) surface.slabs[slab] = taken[slab];
        }
    }
    KeptSurface& surface;
    std::uint32_t chosen;
    SurfaceCells taken[kMaxBlocksPerAxis];
};
