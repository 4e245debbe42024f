#include <windows.h>

#include <cstdint>
#include <cstring>

#include "field/memory.h"

// Committed pages are zeroed and become resident only when first written, as on Linux. Large
// pages would need a privilege that a user's process does not hold, so none are asked for.
void* mapAlignedPages(std::size_t bytes, std::size_t alignment) {
    // Address space for one alignment more than needed; of it only the aligned run of `bytes`
    // is committed. The rest stays reserved, which costs no memory, and goes back with it.
    const std::size_t reserved = bytes + alignment;
    void* reservation = VirtualAlloc(nullptr, reserved, MEM_RESERVE, PAGE_NOACCESS);
    if (reservation == nullptr) return nullptr;
    auto* const first = static_cast<unsigned char*>(reservation);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(first);
    unsigned char* const array = first + (alignment - address % alignment) % alignment;
    if (VirtualAlloc(array, bytes, MEM_COMMIT, PAGE_READWRITE) == nullptr) {
        VirtualFree(reservation, 0, MEM_RELEASE);
        return nullptr;
    }
    return array;
}

void unmapAlignedPages(void* array, std::size_t) {
    MEMORY_BASIC_INFORMATION region;
    if (VirtualQuery(array, &region, sizeof region) == 0) return;
    VirtualFree(region.AllocationBase, 0, MEM_RELEASE);
}

// Windows cannot move pages to a larger address range as mremap does, so the contents are copied
// into fresh pages. Capacities double, so the copies add up to less than the final size.
void* growPages(void* buffer, std::size_t oldBytes, std::size_t newBytes) {
    void* larger = VirtualAlloc(nullptr, newBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (larger == nullptr || buffer == nullptr) return larger;
    std::memcpy(larger, buffer, oldBytes);
    VirtualFree(buffer, 0, MEM_RELEASE);
    return larger;
}
