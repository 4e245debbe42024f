#include "app/heap.h"

// The Windows heap offers no setting for this: blocks above its own threshold get pages of their
// own whatever the program asks, and the OpenGL driver keeps its buffers in memory of its own.
void configureHeap() {}
