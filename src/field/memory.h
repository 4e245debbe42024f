#pragma once

// Memory straight from the system, for arrays too large for the heap to serve well. Each
// platform provides the three functions below in a file of its own (memory_posix.cpp,
// memory_win32.cpp); the field library calls them through fieldStorage().

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

// Where the field library gets those pages: the grid's large storage and the kept surface's slabs
// are had, grown and given back only through the functions in place. They are the system's above
// unless a test has put its own there, as it does to refuse storage and see what happens when
// it runs out.
struct FieldStorage {
    void* (*mapAlignedPages)(std::size_t bytes, std::size_t alignment);
    void (*unmapAlignedPages)(void* array, std::size_t bytes);
    void* (*growPages)(void* buffer, std::size_t oldBytes, std::size_t newBytes);
};

const FieldStorage& fieldStorage();

// Puts `storage` (kept by the caller) in place from now on; null puts the system's back. Not while
// work of the library runs. Pages had from one are given back through one that accepts them.
void setFieldStorage(const FieldStorage* storage);
