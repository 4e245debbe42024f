#pragma once

#include <cstddef>
#include <cstdint>

#include "field/cut_cells.h"
#include "field/field.h"
#include "field/grid.h"
#include "field/polygoniser.h"

// The isosurface of a grid, extracted once and kept for as long as nothing that shapes it
// changes, so that frames which only move the camera or change the selection or the lighting
// draw it again without polygonising the grid. Pure computation, no OpenGL.

// Cut cells in storage order and their triangles: a slab of the kept surface, or a batch of
// one. A slab's storage grows as needed and is kept for the next extraction.
struct SurfaceCells {
    unsigned char* cellTriangles = nullptr;  // triangles of each cut cell, 1 .. 5
    std::size_t cellCount = 0;
    std::size_t cellCapacity = 0;
    Triangle* triangles = nullptr;  // the cells' triangles, one cell after another
    std::size_t triangleCount = 0;
    std::size_t triangleCapacity = 0;
};

// The extracted surface, one slab per row of blocks along i, and what it was extracted from:
// the grid's version and the isolevel, compared with those at hand, say whether it is current.
struct KeptSurface {
    std::uint64_t gridVersion = 0;  // 0 before the first extraction
    double isolevel = 0.0;
    bool complete = false;  // every slab kept
    CutBlocks cutBlocks{};  // the blocks the extraction visited
    int slabCount = 0;
    SurfaceCells slabs[kMaxBlocksPerAxis];
    bool kept[kMaxBlocksPerAxis]{};  // the slab is in `slabs`; false: storage ran out
};

// Brings the kept surface up to date and calls draw(context, cells) for all of it in order, on
// the calling thread. When it must be extracted afresh a helper thread extracts slabs ahead
// while the caller draws the ones that are ready. A slab for which storage ran out is
// polygonised on the calling thread and handed over a batch at a time.
void drawSurface(KeptSurface& surface, const Grid& grid, double isolevel,
                 const FieldSummary& summary,
                 void (*draw)(void* context, const SurfaceCells& cells), void* context);

// Extracts the surface afresh, whatever was kept, the calling thread helping; false when storage
// ran out for some slab.
bool extractSurface(KeptSurface& surface, const Grid& grid, double isolevel,
                    const FieldSummary& summary);
