#include <cstdlib>
#include <cstring>

#include "field/memory.h"

// WebAssembly has one linear memory and no pages to map: the arrays come from the heap, aligned
// and zeroed as mapped pages would be.

void* mapAlignedPages(std::size_t bytes, std::size_t alignment) {
    void* array = std::aligned_alloc(alignment, bytes);
    if (array != nullptr) std::memset(array, 0, bytes);
    return array;
}

void unmapAlignedPages(void* array, std::size_t /*bytes*/) {
    std::free(array);
}

void* growPages(void* buffer, std::size_t oldBytes, std::size_t newBytes) {
    void* larger = std::aligned_alloc(kPageBytes, newBytes);
    if (larger == nullptr) return nullptr;
    if (buffer != nullptr) std::memcpy(larger, buffer, oldBytes);
    std::memset(static_cast<char*>(larger) + oldBytes, 0, newBytes - oldBytes);
    std::free(buffer);
    return larger;
}
