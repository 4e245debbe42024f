#include "field/grid.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;  // bytes

// Storage for a grid array. Faulting in fresh 4 KiB pages dominated the making of a fine grid
// (about 45,000 faults at N = 128), so arrays of a huge page or more are aligned to huge pages
// and marked for them; where the system has no huge pages the hint is ignored.
void* obtainGridStorage(std::size_t size) {
    if (size < kHugePage) return std::malloc(size == 0 ? 1 : size);
    const std::size_t rounded = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* storage = std::aligned_alloc(kHugePage, rounded);
#ifdef MADV_HUGEPAGE
    if (storage != nullptr) madvise(storage, rounded, MADV_HUGEPAGE);
#endif
    return storage;
}

// Element counts of the two arrays for N cells per axis; false when a byte size would not fit
// the address space, so the products below can never wrap, or when a PointRef could not reach
// every point.
bool gridSizes(int n, std::size_t& cellCount, std::size_t& pointCount) {
    constexpr std::size_t kMaxBytes = PTRDIFF_MAX;
    constexpr std::size_t kMaxPoints = (std::size_t{UINT32_MAX} + 1) / sizeof(GridPoint);
    const std::size_t side = static_cast<std::size_t>(n) + 1;
    // side <= 2^31, so side^2 <= 2^62 fits; check the third factor and the byte sizes.
    const std::size_t square = side * side;
    if (square > kMaxBytes / side / sizeof(GridPoint)) return false;
    pointCount = square * side;
    if (pointCount > kMaxPoints) return false;
    cellCount = static_cast<std::size_t>(n) * n * n;
    return cellCount <= kMaxBytes / sizeof(GridCell);
}

}  // namespace

void* GridPoint::operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return obtainGridStorage(size);
}
void GridPoint::operator delete[](void* storage) noexcept {
    std::free(storage);
}
void* GridCell::operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return obtainGridStorage(size);
}
void GridCell::operator delete[](void* storage) noexcept {
    std::free(storage);
}

int allocateGrid(double netWidth, double voxelSize, GridCell*& cells, GridPoint*& points) {
    const double quotient = netWidth / voxelSize;
    // Rejects NaN, negative sizes and anything whose N would not fit an int.
    if (!(quotient >= 0.0 && quotient < 2147483647.0)) return kGridAllocationFailed;
    const int n = static_cast<int>(quotient);

    std::size_t cellCount = 0;
    std::size_t pointCount = 0;
    if (!gridSizes(n, cellCount, pointCount)) return kGridAllocationFailed;

    // Both new arrays must exist before the old pair is given up.
    GridCell* newCells = new (std::nothrow) GridCell[cellCount];
    GridPoint* newPoints = newCells ? new (std::nothrow) GridPoint[pointCount] : nullptr;
    if (newPoints == nullptr) {
        delete[] newCells;
        return kGridAllocationFailed;
    }
    delete[] cells;
    delete[] points;
    cells = newCells;
    points = newPoints;
    return n;
}

void buildGrid(double voxelSize, int n, GridCell* cells, GridPoint* points) {
    if (n < 0) return;
    const double s = voxelSize;
    const double d = -(n * s * 0.5);  // lowest coordinate of the lattice
    const std::size_t side = static_cast<std::size_t>(n) + 1;

    std::size_t p = 0;
    for (int i = 0; i <= n; ++i) {
        const float x = static_cast<float>(d + s * i);
        for (int j = 0; j <= n; ++j) {
            const float y = static_cast<float>(d + s * j);
            for (int k = 0; k <= n; ++k) {
                points[p++].position = {x, y, static_cast<float>(d + s * k)};
            }
        }
    }

    // Offsets of the eight corners from corner 0, in corner order.
    const std::size_t dx = side * side;
    const std::size_t dy = side;
    const std::size_t offsets[8] = {0, dy, dx + dy, dx, 1, dy + 1, dx + dy + 1, dx + 1};

    std::size_t c = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            for (int k = 0; k < n; ++k) {
                const std::size_t corner0 = (i * side + j) * side + k;
                for (int corner = 0; corner < 8; ++corner) {
                    cells[c].corners[corner] = pointRef(corner0 + offsets[corner]);
                }
                ++c;
            }
        }
    }
}
