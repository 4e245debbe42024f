#include "field/surface.h"

#include <cstring>

#include "field/memory.h"

namespace {

constexpr std::size_t kFirstCapacity = 1024;  // cut cells of a slab before its first growth
// An extraction visiting fewer cells than this stays on one thread.
constexpr std::size_t kCellsToHelp = 65536;

std::uint32_t refusedSlabs = 0;  // see refuseSlabStorage

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
    void* larger = growPages(buffer, pageBytes(capacity, size), bytes);
    if (larger == nullptr) return false;
    buffer = larger;
    capacity = bytes / size;
    return true;
}

// Room for one more cut cell and its triangles.
bool reserveCell(SurfacePart& part) {
    if (part.cellCount < part.cellCapacity &&
        part.triangleCount + kMaxTrianglesPerCell <= part.triangleCapacity) {
        return true;
    }
    void* cells = part.cellTriangles;
    void* triangles = part.triangles;
    const bool room = reserve(cells, part.cellCapacity, part.cellCount + 1, 1) &&
                      reserve(triangles, part.triangleCapacity,
                              part.triangleCount + kMaxTrianglesPerCell, sizeof(Triangle));
    part.cellTriangles = static_cast<unsigned char*>(cells);
    part.triangles = static_cast<Triangle*>(triangles);
    return room;
}

// One cut cell's triangles, straight into the part's storage: the crossings and triangles of its
// configuration, as polygoniseCell makes them.
bool appendCell(SurfacePart& part, const GridCell& cell, int index, const GridPoint* points,
                double isolevel, Vec3 edgeVertices[kEdgesPerCell]) {
    if (!reserveCell(part)) return false;
    if (!intersectEdges(edgeVertices, cell, points, index, isolevel)) return true;
    const int count = buildTriangles(part.triangles + part.triangleCount, edgeVertices, index);
    part.cellTriangles[part.cellCount++] = static_cast<unsigned char>(count);
    part.triangleCount += count;
    return true;
}

// What the extraction of one slab needs.
struct SlabJob {
    const GridPoint* points;
    double isolevel;
    SurfaceCache* surface;
};

void extractSlab(void* context, int slab) {
    SlabJob& job = *static_cast<SlabJob*>(context);
    SurfaceCache& surface = *job.surface;
    SurfacePart& out = surface.slabs[slab];
    out.cellCount = 0;
    out.triangleCount = 0;
    bool room = (refusedSlabs >> slab & 1u) == 0;
    Vec3 edgeVertices[kEdgesPerCell];
    forEachCutCell(
        surface.blocks, job.points, surface.cellsPerAxis, job.isolevel, slabBegin(surface, slab),
        slabEnd(surface, slab), [&](const GridCell& cell, int index) {
            room = room && appendCell(out, cell, index, job.points, job.isolevel, edgeVertices);
        });
    surface.kept[slab] = room;
}

// Cells the extraction visits: below this, a helper thread costs more than it saves.
std::size_t cellsToVisit(const CutBlocks& blocks) {
    std::size_t visited = 0;
    for (int column = 0; column < blocks.blocksPerAxis * blocks.blocksPerAxis; ++column)
        visited += __builtin_popcount(blocks.columns[column]);
    return visited * blocks.blockCells * blocks.blockCells * blocks.blockCells;
}

bool current(const SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
             double isolevel) {
    // The isolevel is compared bit for bit: the same bits give the same surface.
    return surface.complete && surface.cells == cells && surface.points == points &&
           surface.cellsPerAxis == n &&
           std::memcmp(&surface.isolevel, &isolevel, sizeof isolevel) == 0 &&
           surface.writeCount == gridWriteCount();
}

void useSurfaceAfresh(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                      double isolevel, const FieldSummary& summary,
                      void (*use)(void* context, const SurfaceCache& surface, int slab),
                      void* context) {
    surface.complete = false;
    surface.cells = cells;
    surface.points = points;
    surface.cellsPerAxis = n;
    surface.isolevel = isolevel;
    surface.writeCount = gridWriteCount();
    findCutBlocks(surface.blocks, summary, n, points, isolevel);
    surface.slabCount = n > 0 ? surface.blocks.blocksPerAxis : 0;

    SlabJob job{points, isolevel, &surface};
    SharedWork shared;
    // A caller that uses the slabs leaves their extraction to the helper, which stays ahead.
    startSharedWork(shared, surface.slabCount, extractSlab, &job,
                    cellsToVisit(surface.blocks) >= kCellsToHelp, use == nullptr);
    bool complete = true;
    for (int slab = 0; slab < surface.slabCount; ++slab) {
        awaitItem(shared, slab);
        complete = complete && surface.kept[slab];
        if (use) use(context, surface, slab);
    }
    finishSharedWork(shared);
    surface.complete = complete;
}

}  // namespace

void findCutBlocks(CutBlocks& blocks, const FieldSummary& summary, int n, const GridPoint* points,
                   double isolevel) {
    blocks.blockCells = summaryBlockCells(n);
    blocks.blocksPerAxis = summaryBlocksPerAxis(n);
    const int perAxis = blocks.blocksPerAxis;
    const bool known = summaryCurrent(summary, n, points);
    for (int a = 0; a < perAxis; ++a) {
        for (int b = 0; b < perAxis; ++b) {
            std::uint32_t mask = 0;
            for (int c = 0; c < perAxis; ++c) {
                const int e = (a * perAxis + b) * perAxis + c;
                // A NaN `greatest` passes: NaN is not below the isolevel.
                const bool cut =
                    !known || (summary.least[e] < isolevel && !(summary.greatest[e] < isolevel));
                if (cut) mask |= 1u << c;
            }
            blocks.columns[a * perAxis + b] = mask;
        }
    }
}

void useSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                double isolevel, const FieldSummary& summary,
                void (*use)(void* context, const SurfaceCache& surface, int slab), void* context) {
    if (!current(surface, cells, points, n, isolevel)) {
        useSurfaceAfresh(surface, cells, points, n, isolevel, summary, use, context);
        return;
    }
    for (int slab = 0; slab < surface.slabCount; ++slab)
        use(context, surface, slab);
}

void refuseSlabStorage(std::uint32_t slabs) {
    refusedSlabs = slabs;
}

bool extractSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, const FieldSummary& summary) {
    useSurfaceAfresh(surface, cells, points, n, isolevel, summary, nullptr, nullptr);
    return surface.complete;
}
