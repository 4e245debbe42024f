#include <malloc.h>

#include "app/heap.h"

namespace {

constexpr int kKeptFreeBytes = 32 << 20;    // freed heap memory kept for reuse
constexpr int kMappedFromBytes = 32 << 20;  // blocks this large get a mapping of their own

}  // namespace

void configureHeap() {
    // Mesa frees and obtains again its vertex and binning buffers in every frame. By default the
    // C library soon gives freed memory at the top of the heap back to the system (above 128 KiB,
    // until its own adjustment has seen large blocks freed), and the next frame faults it in
    // again, 4 KiB at a time: a wireframe frame at N = 128 right after the grid was made took
    // over 100 ms instead of under 50. Keeping up to kKeptFreeBytes avoids that.
    mallopt(M_TRIM_THRESHOLD, kKeptFreeBytes);
    // Setting the trim threshold stops the library from raising its mapping threshold with the
    // blocks it sees freed; set it where that would end, so that Mesa's buffers stay in the heap
    // rather than being mapped and faulted in afresh. (The grid arrays map their own memory.)
    mallopt(M_MMAP_THRESHOLD, kMappedFromBytes);
}
