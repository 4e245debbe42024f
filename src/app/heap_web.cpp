#include "app/heap.h"

// WebAssembly's memory only grows and is never given back, so the heap keeps what it frees
// without being told.
void configureHeap() {}
