#include "render/display.h"

#include <GL/glut.h>

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    glClear(GL_DEPTH_BUFFER_BIT);
    glFlush();
}
