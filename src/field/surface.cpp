#include "field/surface.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kFirstCapacity = 1024;  // cut cells of a part before its first growth
// An extraction visiting fewer cells than this stays on one thread.
constexpr std::size_t kCellsPerPart = 65536;

// Makes room in `buffer` for `needed` elements of `size` bytes, doubling; false when the
// storage cannot be had (the buffer is left as it was).
bool reserve(void*& buffer, std::size_t& capacity, std::size_t needed, std::size_t size) {
    if (needed <= capacity) return true;
    std::size_t grown = capacity < kFirstCapacity ? kFirstCapacity : capacity;
    while (grown < needed)
        grown *= 2;
    void* larger = std::realloc(buffer, grown * size);
    if (larger == nullptr) return false;
    buffer = larger;
    capacity = grown;
    return true;
}

// Room for one more cut cell and its triangles and normals.
bool reserveCell(SurfacePart& part) {
    if (part.cellCount < part.cellCapacity &&
        part.triangleCount + kMaxTrianglesPerCell <= part.triangleCapacity) {
        return true;
    }
    void* cells = part.cellTriangles;
    void* triangles = part.triangles;
    void* normals = part.normals;
    const std::size_t needed = part.triangleCount + kMaxTrianglesPerCell;
    std::size_t triangleCapacity = part.triangleCapacity;
    std::size_t normalCapacity = part.triangleCapacity;
    const bool room = reserve(cells, part.cellCapacity, part.cellCount + 1, 1) &&
                      reserve(triangles, triangleCapacity, needed, sizeof(Triangle)) &&
                      reserve(normals, normalCapacity, needed, sizeof(Vec3));
    part.cellTriangles = static_cast<unsigned char*>(cells);
    part.triangles = static_cast<Triangle*>(triangles);
    part.normals = static_cast<Vec3*>(normals);
    // Both arrays hold at least the smaller capacity.
    part.triangleCapacity = triangleCapacity < normalCapacity ? triangleCapacity : normalCapacity;
    return room;
}

// Polygonises one cell straight into the part's storage, each triangle with its normal.
bool appendCell(SurfacePart& part, const GridCell& cell, const GridPoint* points, double isolevel,
                Vec3 edgeVertices[kEdgesPerCell]) {
    if (!reserveCell(part)) return false;
    Triangle* triangles = part.triangles + part.triangleCount;
    const int count = polygoniseCell(cell, points, isolevel, edgeVertices, triangles);
    if (count == 0) return true;
    for (int t = 0; t < count; ++t)
        triangleNormal(triangles[t], part.normals[part.triangleCount + t]);
    part.cellTriangles[part.cellCount++] = static_cast<unsigned char>(count);
    part.triangleCount += count;
    return true;
}

struct Extraction {
    const CutBlocks* blocks;
    const GridCell* cells;
    const GridPoint* points;
    int n;
    double isolevel;
    SurfaceCache* surface;
    int partRows[kMaxParts + 1];  // part p extracts rows i in [partRows[p], partRows[p + 1])
    bool outOfStorage[kMaxParts];
};

void extractPart(void* context, int part) {
    Extraction& job = *static_cast<Extraction*>(context);
    SurfacePart& out = job.surface->parts[part];
    out.cellCount = 0;
    out.triangleCount = 0;
    bool room = true;
    Vec3 edgeVertices[kEdgesPerCell];
    forEachCutCell(*job.blocks, job.cells, job.points, job.n, job.isolevel, job.partRows[part],
                   job.partRows[part + 1], [&](const GridCell& cell) {
                       room = room && appendCell(out, cell, job.points, job.isolevel, edgeVertices);
                   });
    job.outOfStorage[part] = !room;
}

// Splits the rows into parts of whole blocks with about as many blocks to visit each.
int splitRows(const CutBlocks& blocks, int n, int partRows[kMaxParts + 1]) {
    const int perAxis = blocks.blocksPerAxis;
    int visits[kMaxBlocksPerAxis] = {};
    long total = 0;
    for (int a = 0; a < perAxis; ++a) {
        for (int b = 0; b < perAxis; ++b)
            visits[a] += __builtin_popcount(blocks.columns[a * perAxis + b]);
        total += visits[a];
    }
    const std::size_t blockVolume =
        static_cast<std::size_t>(blocks.blockCells) * blocks.blockCells * blocks.blockCells;
    int parts = partCount();
    if (static_cast<std::size_t>(total) * blockVolume < kCellsPerPart) parts = 1;

    partRows[0] = 0;
    int count = 1;
    long sum = 0;
    for (int a = 0; a + 1 < perAxis && count < parts; ++a) {
        sum += visits[a];
        if (sum * parts >= count * total) partRows[count++] = (a + 1) * blocks.blockCells;
    }
    partRows[count] = n;
    return count;
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

bool extractSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                    double isolevel, const FieldSummary& summary) {
    surface.complete = false;
    surface.partCount = 0;
    if (n > 0) {
        CutBlocks blocks;
        findCutBlocks(blocks, summary, n, points, isolevel);
        Extraction job{&blocks, cells, points, n, isolevel, &surface, {}, {}};
        const int parts = splitRows(blocks, n, job.partRows);
        runInParts(parts, extractPart, &job);
        for (int part = 0; part < parts; ++part) {
            if (job.outOfStorage[part]) return false;
        }
        surface.partCount = parts;
    }
    surface.cells = cells;
    surface.points = points;
    surface.cellsPerAxis = n;
    surface.isolevel = isolevel;
    surface.writeCount = gridWriteCount();
    surface.complete = true;
    return true;
}

bool updateSurface(SurfaceCache& surface, const GridCell* cells, const GridPoint* points, int n,
                   double isolevel, const FieldSummary& summary) {
    // Compared bit for bit: the same bits give the same surface.
    const bool current = surface.complete && surface.cells == cells && surface.points == points &&
                         surface.cellsPerAxis == n &&
                         std::memcmp(&surface.isolevel, &isolevel, sizeof isolevel) == 0 &&
                         surface.writeCount == gridWriteCount();
    return current || extractSurface(surface, cells, points, n, isolevel, summary);
}
