#pragma once

// Memory straight from the system, for arrays too large for the heap to serve well. Each
// platform provides these in a file of its own (memory_posix.cpp, memory_win32.cpp).

#include <cstddef>

constexpr std::size_t kPageBytes = 4096;  // the system's page on every platform built for

// Zeroed pages of their own for an array of `bytes`, starting on a multiple of `alignment` (a
// power of two and a multiple of kPageBytes) and marked for huge pages where the system offers
// them. Null when the memory cannot be had.
void* mapAlignedPages(std::size_t bytes, std::size_t alignment);

// Gives back what mapAlignedPages(bytes, ...) returned as `array`.
void unmapAlignedPages(void* array, std::size_t bytes);

// Pages of their own for a growing array: `buffer` (null, or what this returned for `oldBytes`)
// made `newBytes` long, its contents kept, the new pages zeroed. Both sizes are multiples of
// kPageBytes. Null when the memory cannot be had; `buffer` is then left as it was.
void* growPages(void* buffer, std::size_t oldBytes, std::size_t newBytes);
