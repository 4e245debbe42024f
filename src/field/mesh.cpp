#include "field/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "field/surface.h"

namespace {

constexpr std::size_t kFirstVertices = 4096;  // capacity before the first growth
constexpr std::uint64_t kEmpty = 0;           // an unused slot of the edge table

// Axis of each edge of a cell, in the order of kCornersOfEdge: x 0, y 1, z 2. The kind 3 stands
// for a crossing at a grid point itself.
constexpr unsigned kEdgeAxis[kEdgesPerCell] = {1, 0, 1, 0, 1, 0, 1, 0, 2, 2, 2, 2};
constexpr unsigned kAtPoint = 3;

// The frame's triangles wind so that their normals point into the balls, towards greater
// values, which its two-sided lighting does not mind; files take the order of the corners for the
// side that faces out of the solid, so their triangles take the frame's corners 0, 2, 1.
constexpr int kOutward[3] = {0, 2, 1};

// Grows `data` to hold at least `needed` elements; false, with `data` untouched, when the
// memory cannot be had.
template <typename T>
bool grow(T*& data, std::size_t needed) {
    void* larger = std::realloc(data, needed * sizeof(T));
    if (larger == nullptr) return false;
    data = static_cast<T*>(larger);
    return true;
}

// Vertex numbers by grid edge: open addressing with linear probing, at most half full. A key is
// the reference of the edge's lower point times four plus its kind, plus one so that no key is
// kEmpty.
struct EdgeTable {
    std::uint64_t* keys = nullptr;
    std::uint32_t* vertices = nullptr;
    std::size_t mask = 0;  // slots - 1, slots a power of two
    std::size_t used = 0;
};

std::size_t slotOf(std::uint64_t key, std::size_t mask) {
    return static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & mask;
}

bool resizeTable(EdgeTable& table, std::size_t slots) {
    auto* keys = static_cast<std::uint64_t*>(std::calloc(slots, sizeof(std::uint64_t)));
    auto* vertices = static_cast<std::uint32_t*>(std::malloc(slots * sizeof(std::uint32_t)));
    if (keys == nullptr || vertices == nullptr) {
        std::free(keys);
        std::free(vertices);
        return false;
    }
    for (std::size_t s = 0; table.keys != nullptr && s <= table.mask; ++s) {
        if (table.keys[s] == kEmpty) continue;
        std::size_t slot = slotOf(table.keys[s], slots - 1);
        while (keys[slot] != kEmpty)
            slot = (slot + 1) & (slots - 1);
        keys[slot] = table.keys[s];
        vertices[slot] = table.vertices[s];
    }
    std::free(table.keys);
    std::free(table.vertices);
    table.keys = keys;
    table.vertices = vertices;
    table.mask = slots - 1;
    return true;
}

// What one build needs besides the mesh itself.
struct MeshBuild {
    SurfaceMesh& mesh;
    const GridPoint* points;
    double isolevel;
    EdgeTable table;
    bool room = true;
};

// The vertex of edge e of `cell`, made from the crossing the frame computed for it when the edge
// is new; kNoVertex when storage ran out.
constexpr std::uint32_t kNoVertex = UINT32_MAX;

std::uint32_t vertexOf(MeshBuild& build, const GridCell& cell, int e, const Vec3& crossing) {
    const PointRef a = cell.corners[kCornersOfEdge[e][0]];
    const PointRef b = cell.corners[kCornersOfEdge[e][1]];
    std::uint64_t key;
    if (pointAt(build.points, a).value == build.isolevel) {
        key = std::uint64_t{a} * 4 + kAtPoint;
    } else if (pointAt(build.points, b).value == build.isolevel) {
        key = std::uint64_t{b} * 4 + kAtPoint;
    } else {
        key = std::uint64_t{a < b ? a : b} * 4 + kEdgeAxis[e];
    }
    ++key;
    EdgeTable& table = build.table;
    std::size_t slot = slotOf(key, table.mask);
    while (table.keys[slot] != kEmpty) {
        if (table.keys[slot] == key) return table.vertices[slot];
        slot = (slot + 1) & table.mask;
    }
    SurfaceMesh& mesh = build.mesh;
    if (mesh.vertexCount == mesh.vertexCapacity) {
        const std::size_t capacity = mesh.vertexCapacity * 2;
        if (capacity > kNoVertex || !grow(mesh.positions, capacity) ||
            !grow(mesh.normals, capacity))
            return kNoVertex;
        mesh.vertexCapacity = capacity;
    }
    const auto vertex = static_cast<std::uint32_t>(mesh.vertexCount++);
    mesh.positions[vertex] = crossing;
    mesh.normals[vertex] = {0.0f, 0.0f, 0.0f};
    table.keys[slot] = key;
    table.vertices[slot] = vertex;
    // Kept at most half full, so that probes stay short.
    if (++table.used * 2 > table.mask + 1 && !resizeTable(table, (table.mask + 1) * 2))
        return kNoVertex;
    return vertex;
}

// One cut cell: the crossings as the frame computes them, then its triangles by the vertices of
// their edges. The normal of a triangle is added to each of its vertices.
void addCell(MeshBuild& build, const GridCell& cell, int index) {
    SurfaceMesh& mesh = build.mesh;
    if (mesh.triangleCount + kMaxTrianglesPerCell > mesh.triangleCapacity) {
        const std::size_t capacity = mesh.triangleCapacity * 2;
        if (!grow(mesh.indices, capacity * 3)) {
            build.room = false;
            return;
        }
        mesh.triangleCapacity = capacity;
    }
    Vec3 crossings[kEdgesPerCell];
    if (!intersectEdges(crossings, cell, build.points, index, build.isolevel)) return;
    const int* row = triTable[index];
    for (int t = 0; row[3 * t] != -1; ++t) {
        std::uint32_t* corners = mesh.indices + 3 * mesh.triangleCount;
        Triangle triangle;
        for (int v = 0; v < 3; ++v) {
            const int e = row[3 * t + kOutward[v]];
            corners[v] = vertexOf(build, cell, e, crossings[e]);
            if (corners[v] == kNoVertex) {
                build.room = false;
                return;
            }
            triangle.vertices[v] = mesh.positions[corners[v]];
        }
        Vec3 normal;
        triangleNormal(triangle, normal);
        if (normal.x == 0.0f && normal.y == 0.0f && normal.z == 0.0f) {
            ++mesh.droppedTriangles;
            continue;
        }
        for (int v = 0; v < 3; ++v) {
            Vec3& sum = mesh.normals[corners[v]];
            sum = {sum.x + normal.x, sum.y + normal.y, sum.z + normal.z};
        }
        ++mesh.triangleCount;
    }
}

}  // namespace

bool buildSurfaceMesh(SurfaceMesh& mesh, const GridPoint* points, int n, double isolevel,
                      const FieldSummary& summary) {
    mesh.vertexCount = 0;
    mesh.triangleCount = 0;
    mesh.droppedTriangles = 0;
    if (mesh.vertexCapacity == 0) {
        if (!grow(mesh.positions, kFirstVertices) || !grow(mesh.normals, kFirstVertices) ||
            !grow(mesh.indices, kFirstVertices * 2 * 3))
            return false;
        mesh.vertexCapacity = kFirstVertices;
        mesh.triangleCapacity = kFirstVertices * 2;
    }
    MeshBuild build{mesh, points, isolevel, EdgeTable{}, true};
    if (!resizeTable(build.table, kFirstVertices * 4)) return false;
    CutBlocks blocks;
    findCutBlocks(blocks, summary, n, points, isolevel);
    forEachCutCell(blocks, points, n, isolevel, 0, n, [&](const GridCell& cell, int index) {
        if (build.room) addCell(build, cell, index);
    });
    std::free(build.table.keys);
    std::free(build.table.vertices);
    if (!build.room) {
        mesh.vertexCount = mesh.triangleCount = mesh.droppedTriangles = 0;
        return false;
    }
    // The normal of a vertex is the mean of its triangles' normals, each weighted by its area
    // (the cross product's length is twice the area). It follows the triangles' winding, which
    // is what readers take a face's side from, and the normals the frame lights each triangle
    // with; the field's gradient would need values beyond the grid at the cube's faces and can
    // point against a triangle the grid's coarseness has tilted.
    for (std::size_t v = 0; v < mesh.vertexCount; ++v) {
        Vec3& normal = mesh.normals[v];
        const double length = std::sqrt(static_cast<double>(normal.x) * normal.x +
                                        static_cast<double>(normal.y) * normal.y +
                                        static_cast<double>(normal.z) * normal.z);
        if (length > 0.0) {
            normal = {static_cast<float>(normal.x / length), static_cast<float>(normal.y / length),
                      static_cast<float>(normal.z / length)};
        }
    }
    return true;
}

void releaseSurfaceMesh(SurfaceMesh& mesh) {
    std::free(mesh.positions);
    std::free(mesh.normals);
    std::free(mesh.indices);
    mesh = SurfaceMesh{};
}
