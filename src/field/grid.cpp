#include "field/grid.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "field/memory.h"

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;  // bytes

// Faulting in fresh 4 KiB pages dominated the making of a fine grid, so storage of a huge page or
// more gets pages of its own, starting on a huge-page boundary and marked for them (where the
// system has no huge pages the hint is ignored); they go back to the system as soon as the
// storage is released, whatever the C library does with freed heap memory. Smaller storage comes
// from malloc. `bytes` becomes the length to give back to releaseStorage.
void* obtainStorage(std::size_t& bytes) {
    if (bytes < kHugePage) return std::malloc(bytes);
    bytes = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    return fieldStorage().mapAlignedPages(bytes, kHugePage);
}

void releaseStorage(void* storage, std::size_t bytes) {
    if (storage == nullptr) return;
    if (bytes < kHugePage) {
        std::free(storage);
    } else {
        fieldStorage().unmapAlignedPages(storage, bytes);
    }
}

// Bytes of the values and the axis of a grid of N = n, points first; false when they would not
// fit the address space, so that the products below can never wrap.
bool storageSize(int n, std::size_t& bytes) {
    constexpr std::size_t kMaxBytes = PTRDIFF_MAX / 2;
    const std::size_t side = static_cast<std::size_t>(n) + 1;
    // side <= 2^31, so side^2 <= 2^62 fits; check the third factor.
    const std::size_t square = side * side;
    if (square > kMaxBytes / side / sizeof(GridPoint)) return false;
    bytes = square * side * sizeof(GridPoint) + side * sizeof(float);
    return true;
}

}  // namespace

BlockLattice blockLattice(int n) {
    BlockLattice lattice;
    lattice.cellsPerAxis = n;
    const int fitting = (n + kMaxBlocksPerAxis - 1) / kMaxBlocksPerAxis;
    lattice.cells = fitting > kBlockCells ? fitting : kBlockCells;
    lattice.perAxis = n <= 0 ? 0 : (n + lattice.cells - 1) / lattice.cells;
    return lattice;
}

bool setVoxelSize(Grid& grid, double voxelSize) {
    const double quotient = kNetWidth / voxelSize;
    // Rejects NaN, negative sizes and anything whose N would not fit an int.
    if (!(quotient >= 0.0 && quotient < 2147483647.0)) return false;
    const int n = static_cast<int>(quotient);
    std::size_t bytes = 0;
    if (!storageSize(n, bytes)) return false;
    if (bytes > grid.storageBytes) {
        void* storage = obtainStorage(bytes);
        if (storage == nullptr) return false;
        releaseStorage(grid.points, grid.storageBytes);
        grid.points = static_cast<GridPoint*>(storage);
        grid.storageBytes = bytes;
    }

    grid.cellsPerAxis = n;
    grid.voxelSize = voxelSize;
    grid.axis = reinterpret_cast<float*>(grid.points + pointCount(grid));
    grid.lattice = blockLattice(n);
    ++grid.version;
    const double lowest = -(n * voxelSize * 0.5);
    for (int t = 0; t <= n; ++t)
        grid.axis[t] = static_cast<float>(lowest + voxelSize * t);
    return true;
}

void releaseGrid(Grid& grid) {
    releaseStorage(grid.points, grid.storageBytes);
    const std::uint64_t version = grid.version;
    grid = Grid{};
    grid.version = version + 1;  // nothing made before matches a later grid
}
