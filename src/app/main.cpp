// Entry point of the scalar-field viewer: opens the window, builds the scene and hands the
// thread to GLUT's event loop.

#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstring>
#include <initializer_list>

#include "app/heap.h"
#include "app/scene.h"
#include "app/window.h"

namespace {

constexpr int kWindowLeft = 50;  // pixels
constexpr int kWindowTop = 50;

// freeglut hands the title to X as a Latin-1 WM_NAME only; window managers show the UTF-8
// _NET_WM_NAME, so set it (and a UTF-8 WM_NAME) on the window that GLUT just made current.
void setUtf8Title(const char* title) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == 0) return;
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const auto* bytes = reinterpret_cast<const unsigned char*>(title);
    const int length = static_cast<int>(std::strlen(title));
    for (const char* name : {"_NET_WM_NAME", "WM_NAME", "_NET_WM_ICON_NAME", "WM_ICON_NAME"}) {
        XChangeProperty(display, window, XInternAtom(display, name, False), utf8, 8,
                        PropModeReplace, bytes, length);
    }
    XFlush(display);
}

}  // namespace

int main(int argc, char** argv) {
    configureHeap();
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE | GLUT_DEPTH);
    glutInitWindowPosition(kWindowLeft, kWindowTop);
    glutInitWindowSize(scene.windowWidth, scene.windowHeight);
    glutCreateWindow(kWindowTitle);
    setUtf8Title(kWindowTitle);
    initScene();
    registerCallbacks();
    glutMainLoop();
    return 0;
}
