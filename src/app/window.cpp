#include "app/window.h"

#include <GL/freeglut.h>

#include "input/camera.h"
#include "input/commands.h"
#include "render/display.h"

const char kWindowTitle[] = u8"Программа визуализации скалярных полей";

void reshape(int width, int height) {
    glViewport(0, 0, width, height);
}

void registerCallbacks(const SessionCallbacks& session) {
    glutDisplayFunc(display);
    glutReshapeFunc(reshape);
    glutKeyboardFunc(keyboard);
    glutSpecialFunc(specialKey);
    glutMouseFunc(mouse);
    glutMotionFunc(motion);
    // A scripted session: the keyboard's so that Escape writes the files before the process
    // ends, the display's so that each listed key is acted on after the frame before it, and the
    // window's close so that closing it writes the files too; the window's status, since a window
    // that is never shown draws no frame and would hold the listed keys for ever.
    if (session.keyboard != nullptr) glutKeyboardFunc(session.keyboard);
    if (session.display != nullptr) glutDisplayFunc(session.display);
    if (session.windowStatus != nullptr) glutWindowStatusFunc(session.windowStatus);
    if (session.close != nullptr) glutCloseFunc(session.close);
}
