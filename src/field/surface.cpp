#include "field/surface.h"

#include <cstring>

#include "field/memory.h"
#include "field/parallel.h"

namespace {

constexpr std::size_t kFirstCapacity = 1024;  // cut cells of a slab before its first growth
// An extraction visiting fewer cells than this stays on one thread.
constexpr std::size_t kCellsToHelp = 65536;
// Cut cells of a batch handed over from a slab that could not be kept.
constexpr std::size_t kBatchCells = 256;

static_assert(kMaxBlocksPerAxis <= kMaxSharedItems, "a slab is an item of shared work");

std::size_t pageBytes(std::size_t capacity, std::size_t size) {
    return (capacity * size + kPageBytes - 1) / kPageBytes * kPageBytes;
}

// Makes room in `buffer` for `needed` elements of `size` bytes. Slab arrays are mappings of
// their own, grown by doubling, whose pages beyond the used ones cost no memory; in the heap
// every smaller block of a growing array stayed resident (some 5 MiB at N = 128). False when the
// storage cannot be had; the buffer is then left as it was.
bool reserve(void*& buffer, std::size_t& capacity, std::size_t needed, std::size_t size) {
    if (needed <= capacity) return true;
    std::size_t grown = capacity < kFirstCapacity ? kFirstCapacity : capacity;
    while (grown < needed)
        grown *= 2;
    const std::size_t bytes = pageBytes(grown, size);
    void* larger = fieldStorage().growPages(buffer, pageBytes(capacity, size), bytes);
    if (larger == nullptr) return false;
    buffer = larger;
    capacity = bytes / size;
    return true;
}

// Room in a slab for one more cut cell and its triangles.
bool reserveCell(SurfaceCells& cells) {
    if (cells.cellCount < cells.cellCapacity &&
        cells.triangleCount + kMaxTrianglesPerCell <= cells.triangleCapacity) {
        return true;
    }
    void* cellArray = cells.cellTriangles;
    void* triangleArray = cells.triangles;
    const bool room = reserve(cellArray, cells.cellCapacity, cells.cellCount + 1, 1) &&
                      reserve(triangleArray, cells.triangleCapacity,
                              cells.triangleCount + kMaxTrianglesPerCell, sizeof(Triangle));
    cells.cellTriangles = static_cast<unsigned char*>(cellArray);
    cells.triangles = static_cast<Triangle*>(triangleArray);
    return room;
}

// One cut cell's triangles, into cells that have room for them: the crossings and triangles of
// its configuration, as polygoniseCell makes them.
void appendCell(SurfaceCells& cells, const GridCell& cell, int index, const GridPoint* points,
                double isolevel) {
    Vec3 edgeVertices[kEdgesPerCell];
    if (!intersectEdges(edgeVertices, cell, points, index, isolevel)) return;
    const int count = buildTriangles(cells.triangles + cells.triangleCount, edgeVertices, index);
    cells.cellTriangles[cells.cellCount++] = static_cast<unsigned char>(count);
    cells.triangleCount += count;
}

// What the extraction of one slab needs. Slab a is the rows of block row a along i.
struct SlabJob {
    KeptSurface* surface;
    const Grid* grid;
};

void extractSlab(void* context, int slab) {
    const SlabJob& job = *static_cast<const SlabJob*>(context);
    KeptSurface& surface = *job.surface;
    SurfaceCells& out = surface.slabs[slab];
    out.cellCount = 0;
    out.triangleCount = 0;
    bool room = true;
    forEachCutCell(surface.cutBlocks, *job.grid, surface.isolevel, job.grid->lattice.begin(slab),
                   job.grid->lattice.end(slab), [&](const GridCell& cell, int index) {
                       room = room && reserveCell(out);
                       if (room) appendCell(out, cell, index, job.grid->points, surface.isolevel);
                   });
    surface.kept[slab] = room;
}

// A slab that could not be kept, polygonised on the calling thread and handed to `draw` a
// batch of cells at a time.
void drawUnkeptSlab(const KeptSurface& surface, const Grid& grid, int slab,
                    void (*draw)(void* context, const SurfaceCells& cells), void* context) {
    unsigned char cellTriangles[kBatchCells];
    Triangle triangles[kBatchCells * kMaxTrianglesPerCell];
    SurfaceCells batch;
    batch.cellTriangles = cellTriangles;
    batch.triangles = triangles;
    forEachCutCell(surface.cutBlocks, grid, surface.isolevel, grid.lattice.begin(slab),
                   grid.lattice.end(slab), [&](const GridCell& cell, int index) {
                       if (batch.cellCount == kBatchCells) {
                           draw(context, batch);
                           batch.cellCount = 0;
                           batch.triangleCount = 0;
                       }
                       appendCell(batch, cell, index, grid.points, surface.isolevel);
                   });
    if (batch.cellCount > 0) draw(context, batch);
}

// Cells the extraction visits: below kCellsToHelp, a helper thread costs more than it saves.
std::size_t cellsToVisit(const CutBlocks& blocks, const BlockLattice& lattice) {
    std::size_t visited = 0;
    for (int column = 0; column < lattice.perAxis * lattice.perAxis; ++column)
        visited += __builtin_popcount(blocks.columns[column]);
    return visited * lattice.cells * lattice.cells * lattice.cells;
}

bool current(const KeptSurface& surface, const Grid& grid, double isolevel) {
    // The isolevel is compared bit for bit: the same bits give the same surface.
    return surface.complete && surface.gridVersion == grid.version &&
           std::memcmp(&surface.isolevel, &isolevel, sizeof isolevel) == 0;
}

// Who does what while a surface is extracted afresh: a caller that draws each slab as it is
// ready leaves the extraction to the helper, which then stays ahead; one that only waits helps.
enum class Caller { kDraws, kHelps };

void extractAfresh(KeptSurface& surface, const Grid& grid, double isolevel,
                   const FieldSummary& summary, Caller caller,
                   void (*draw)(void* context, const SurfaceCells& cells), void* context) {
    surface.complete = false;
    surface.gridVersion = grid.version;
    surface.isolevel = isolevel;
    findCutBlocks(surface.cutBlocks, summary, grid, isolevel);
    surface.slabCount = grid.lattice.perAxis;

    SlabJob job{&surface, &grid};
    SharedWork shared;
    startSharedWork(shared, surface.slabCount, extractSlab, &job,
                    cellsToVisit(surface.cutBlocks, grid.lattice) >= kCellsToHelp,
                    caller == Caller::kHelps);
    bool complete = true;
    for (int slab = 0; slab < surface.slabCount; ++slab) {
        awaitItem(shared, slab);
        complete = complete && surface.kept[slab];
        if (caller == Caller::kDraws) {
            if (surface.kept[slab]) {
                draw(context, surface.slabs[slab]);
            } else {
                drawUnkeptSlab(surface, grid, slab, draw, context);
            }
        }
    }
    finishSharedWork(shared);
    surface.complete = complete;
}

}  // namespace

void drawSurface(KeptSurface& surface, const Grid& grid, double isolevel,
                 const FieldSummary& summary,
                 void (*draw)(void* context, const SurfaceCells& cells), void* context) {
    if (!current(surface, grid, isolevel)) {
        extractAfresh(surface, grid, isolevel, summary, Caller::kDraws, draw, context);
        return;
    }
    for (int slab = 0; slab < surface.slabCount; ++slab)
        draw(context, surface.slabs[slab]);
}

bool extractSurface(KeptSurface& surface, const Grid& grid, double isolevel,
                    const FieldSummary& summary) {
    extractAfresh(surface, grid, isolevel, summary, Caller::kHelps, nullptr, nullptr);
    return surface.complete;
}
