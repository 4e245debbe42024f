#pragma once

// Sets the C library's heap up for a process that frees and obtains the same large blocks in
// every frame. Call first thing in main, before any OpenGL library allocates.
void configureHeap();
