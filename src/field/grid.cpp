#include "field/grid.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

#include "field/memory.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;  // bytes
constexpr std::size_t kHeader = 64;  // bytes before a heap array; keeps it cache-line aligned

// The word just before an array: the length of its own mapping, or 0 for the heap.
std::size_t& mappingLength(void* storage) {
    return *reinterpret_cast<std::size_t*>(static_cast<unsigned char*>(storage) -
                                           sizeof(std::size_t));
}

// Storage for grid arrays. Faulting in fresh 4 KiB pages dominated the making of a fine grid
// (about 45,000 faults at N = 128), so an array of a huge page or more gets pages of its own,
// starting on a huge-page boundary and marked for them (where the system has no huge pages the
// hint is ignored). The page before it holds the array's length; were it in the array's first
// huge page, the 64 MiB of cells at N = 128 would spill 64 bytes into one more, a whole 2 MiB
// resident. Its own pages also go back to the system as soon as the array is released, whatever
// the C library does with freed heap memory. Smaller arrays come from malloc.
void* obtainGridStorage(std::size_t size) {
    if (size < kHugePage) {
        auto* block = static_cast<unsigned char*>(std::malloc(kHeader + size));
        if (block == nullptr) return nullptr;
        mappingLength(block + kHeader) = 0;
        return block + kHeader;
    }
    const std::size_t length = (size + kHugePage - 1) / kHugePage * kHugePage;
    void* array = mapAlignedPages(length, kHugePage);
    if (array == nullptr) return nullptr;
    mappingLength(array) = length;
    return array;
}

void releaseGridStorage(void* storage) {
    if (storage == nullptr) return;
    const std::size_t length = mappingLength(storage);
    if (length == 0) {
        std::free(static_cast<unsigned char*>(storage) - kHeader);
    } else {
        unmapAlignedPages(storage, length);
    }
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

// The one piece of state of the grid code: see gridWriteCount.
std::atomic<std::uint64_t> gridWrites{0};

}  // namespace

std::uint64_t gridWriteCount() {
    return gridWrites.load(std::memory_order_relaxed);
}

void countGridWrite() {
    gridWrites.fetch_add(1, std::memory_order_relaxed);
}

void* GridPoint::operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return obtainGridStorage(size);
}
void GridPoint::operator delete[](void* storage) noexcept {
    releaseGridStorage(storage);
}
void* GridCell::operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return obtainGridStorage(size);
}
void GridCell::operator delete[](void* storage) noexcept {
    releaseGridStorage(storage);
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

void cornerOffsets(int n, PointRef offsets[8]) {
    const std::size_t dy = static_cast<std::size_t>(n) + 1;
    const std::size_t dx = dy * dy;
    const std::size_t elements[8] = {0, dy, dx + dy, dx, 1, dy + 1, dx + dy + 1, dx + 1};
    for (int corner = 0; corner < 8; ++corner)
        offsets[corner] = pointRef(elements[corner]);
}

void buildGrid(double voxelSize, int n, GridCell* cells, GridPoint* points) {
    if (n < 0) return;
    countGridWrite();
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

    // All references stay below 2^32: allocateGrid sees to it.
    PointRef offsets[8];
    cornerOffsets(n, offsets);

    std::size_t c = 0;
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            const PointRef row = pointRef((i * side + j) * side);
            for (int k = 0; k < n; ++k) {
                const PointRef corner0 = row + pointRef(k);
                for (int corner = 0; corner < 8; ++corner) {
                    cells[c].corners[corner] = corner0 + offsets[corner];
                }
                ++c;
            }
        }
    }
}
