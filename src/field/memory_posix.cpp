#include <sys/mman.h>

#include <cstdint>

#include "field/memory.h"

void* mapAlignedPages(std::size_t bytes, std::size_t alignment) {
    // One alignment more than needed, so that an aligned run of `bytes` lies within; what is
    // left over on either side goes straight back.
    const std::size_t reserved = bytes + alignment;
    void* mapping =
        mmap(nullptr, reserved, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) return nullptr;
    auto* const first = static_cast<unsigned char*>(mapping);
    const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(first);
    unsigned char* const array = first + (alignment - address % alignment) % alignment;
    if (array > first) munmap(first, array - first);
    unsigned char* const end = array + bytes;
    if (first + reserved > end) munmap(end, first + reserved - end);
#ifdef MADV_HUGEPAGE
    madvise(array, bytes, MADV_HUGEPAGE);
#endif
    return array;
}

void unmapAlignedPages(void* array, std::size_t bytes) {
    munmap(array, bytes);
}

// mremap copies nothing and leaves the pages beyond the used ones untouched, so they cost no
// memory until written.
void* growPages(void* buffer, std::size_t oldBytes, std::size_t newBytes) {
    void* larger = buffer == nullptr ? mmap(nullptr, newBytes, PROT_READ | PROT_WRITE,
                                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0)
                                     : mremap(buffer, oldBytes, newBytes, MREMAP_MAYMOVE);
    return larger == MAP_FAILED ? nullptr : larger;
}
