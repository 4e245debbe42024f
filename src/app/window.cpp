#include "app/window.h"

#include <GL/glut.h>

#include "input/camera.h"
#include "input/commands.h"
#include "render/display.h"

const char kWindowTitle[] = u8"Программа визуализации скалярных полей";

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
}

void registerCallbacks() {
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(specialKey);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
}
