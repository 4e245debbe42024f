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

// The canvas stays as long as the page, and a page has no display to lose: nothing to watch.
void watchWindow(int (*)(bool)) {}
