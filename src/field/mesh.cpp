#include "field/mesh.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "field/cut_cells.h"
#include "field/polygoniser.h"

namespace {

constexpr std::size_t kFirstVertices = 4096;  // capacity before the first growth

// Axis of each edge of a cell, in the order of kCornersOfEdge: along i 0, j 1, k 2. The kind 3
// stands for a crossing at a grid point itself.
constexpr int kEdgeAxis[kEdgesPerCell] = {1, 0, 1, 0, 1, 0, 1, 0, 2, 2, 2, 2};
constexpr int kAtPoint = 3;
constexpr int kKinds = 4;

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

// What one build needs besides the mesh itself. Vertices are found by the grid point their edge
// starts from (its lower end) and the edge's axis, in a table of two planes of points along i:
// cells come in storage order, so a cell's edges all start in its own plane i or the next, and
// the plane i - 1 can be taken over for i + 1. Stale entries need no clearing: an entry counts
// only when the vertex it names was made for that very edge (keys), the check that keeps a
// vertex table from ever being searched.
struct MeshBuild {
    SurfaceMesh& mesh;
    const GridPoint* points;
    double isolevel;
    std::size_t side;      // points along an axis, N + 1
    std::uint32_t* slots;  // 2 planes x side^2 points x kKinds, vertex numbers
    std::uint64_t* keys;   // per vertex: its lower point's element * kKinds + kind
    std::size_t keyCapacity;
    bool room;
};

constexpr std::uint32_t kNoVertex = UINT32_MAX;  // storage ran out

// The vertex of edge e of the cell with corner 0 at plane i, element `rest` within it: the one
// made before for that grid edge, else a new one at the crossing the frame computed.
std::uint32_t vertexOf(MeshBuild& build, const GridCell& cell, std::size_t i, std::size_t rest,
                       int e, const Vec3& crossing) {
    const int a = kCornersOfEdge[e][0];
    const int b = kCornersOfEdge[e][1];
    const int axis = kEdgeAxis[e];
    int corner = kCornerOffsets[a][axis] == 0 ? a : b;  // the lower end
    int kind = axis;
    if (build.points[cell.corners[a]].value == build.isolevel) {
        corner = a;
        kind = kAtPoint;
    } else if (build.points[cell.corners[b]].value == build.isolevel) {
        corner = b;
        kind = kAtPoint;
    }
    const int* step = kCornerOffsets[corner];
    const std::size_t plane = (i + step[0]) & 1u;
    const std::size_t slot =
        ((plane * build.side + step[1]) * build.side + rest + step[2]) * kKinds + kind;
    const std::uint64_t key = std::uint64_t{cell.corners[corner]} * kKinds + kind;
    SurfaceMesh& mesh = build.mesh;
    const std::uint32_t known = build.slots[slot];
    if (known < mesh.vertexCount && build.keys[known] == key) return known;

    if (mesh.vertexCount == mesh.vertexCapacity) {
        const std::size_t capacity = mesh.vertexCapacity * 2;
        if (capacity > kNoVertex || !grow(mesh.positions, capacity) ||
            !grow(mesh.normals, capacity))
            return kNoVertex;
        mesh.vertexCapacity = capacity;
    }
    if (mesh.vertexCount == build.keyCapacity) {
        if (!grow(build.keys, mesh.vertexCapacity)) return kNoVertex;
        build.keyCapacity = mesh.vertexCapacity;
    }
    const auto vertex = static_cast<std::uint32_t>(mesh.vertexCount++);
    mesh.positions[vertex] = crossing;
    mesh.normals[vertex] = {0.0f, 0.0f, 0.0f};
    build.keys[vertex] = key;
    build.slots[slot] = vertex;
    return vertex;
}

// One cut cell: the crossings as the frame computes them, then its triangles by the vertices of
// their edges. The normal of a triangle is added to each of its vertices.
void addCell(MeshBuild& build, const GridCell& cell, int index) {
    SurfaceMesh& mesh = build.mesh;
    const std::size_t corner0 = cell.corners[0];
    const std::size_t planePoints = build.side * build.side;
    const std::size_t i = corner0 / planePoints;
    const std::size_t rest = corner0 % planePoints;
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
            corners[v] = vertexOf(build, cell, i, rest, e, crossings[e]);
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

bool buildSurfaceMesh(SurfaceMesh& mesh, const Grid& grid, double isolevel,
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
    const std::size_t side = static_cast<std::size_t>(grid.cellsPerAxis) + 1;
    MeshBuild build{mesh, grid.points, isolevel, side, nullptr, nullptr, 0, true};
    build.slots =
        static_cast<std::uint32_t*>(std::calloc(2 * side * side * kKinds, sizeof(std::uint32_t)));
    if (build.slots == nullptr) return false;
    CutBlocks blocks;
    findCutBlocks(blocks, summary, grid, isolevel);
    forEachCutCell(blocks, grid, isolevel, 0, grid.cellsPerAxis,
                   [&](const GridCell& cell, int index) {
                       if (build.room) addCell(build, cell, index);
                   });
    std::free(build.slots);
    std::free(build.keys);
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
