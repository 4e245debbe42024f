// The window's side in a page: the canvas is always there, and the title is the document's.

#include <GL/glut.h>
#include <emscripten/emscripten.h>

#include "app/window_platform.h"

bool initGlutOnDisplay(int* argc, char** argv) {
    glutInit(argc, argv);
    return true;
}

void completeWindow(const char* title) {
    emscripten_set_window_title(title);
}
