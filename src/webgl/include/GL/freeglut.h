#pragma once

// freeglut's header for the browser build: emscripten has GLUT's standard header only. The one
// addition the program uses is declared here; the web GLUT (glut.cpp) provides it.

#include <GL/glut.h>

#ifdef __cplusplus
extern "C" {
#endif

// The window's close. A page is no window the program can see closed, so it is kept and never
// called.
void glutCloseFunc(void (*callback)(void));

#ifdef __cplusplus
}
#endif
