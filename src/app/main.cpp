// Entry point of the scalar-field viewer: answers --help and --version, makes sure there is an X
// display, opens the window, builds the scene and hands the thread to GLUT's event loop.

#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstring>
#include <initializer_list>
#include <vector>

#include "app/command_line.h"
#include "app/heap.h"
#include "app/scene.h"
#include "app/session.h"
#include "app/window.h"
#include "app/window_icon.h"

namespace {

constexpr int kWindowLeft = 50;  // pixels
constexpr int kWindowTop = 50;
constexpr int kStatusBadOption = 2;  // an option's value is wrong; no window was opened

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

// freeglut sets neither the window's class nor its process nor an icon; without them a dock
// cannot tie the window to the program's desktop entry and shows no icon for it.
void setWindowIdentity() {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == 0) return;
    // Instance and class name; the desktop entry's StartupWMClass names the class.
    char instanceName[] = "scalar-field-viewer";
    char className[] = "Scalar-field-viewer";
    XClassHint hint{instanceName, className};
    XSetClassHint(display, window, &hint);

    // Xlib takes the items of a 32-bit property as longs.
    const long pid = static_cast<long>(getpid());
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_PID", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&pid), 1);

    // _NET_WM_ICON: for each size its width, its height and its pixels as opaque ARGB.
    std::vector<long> icon;
    for (const WindowIcon& image : kWindowIcons) {
        icon.push_back(image.size);
        icon.push_back(image.size);
        const unsigned char* rgb = image.rgb;
        for (int i = 0; i < image.size * image.size; ++i, rgb += 3) {
            icon.push_back(0xff000000L | static_cast<long>(rgb[0]) << 16 |
                           static_cast<long>(rgb[1]) << 8 | rgb[2]);
        }
    }
    XChangeProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), XA_CARDINAL, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(icon.data()),
                    static_cast<int>(icon.size()));
    XFlush(display);
}

}  // namespace

int main(int argc, char** argv) {
    configureHeap();
    switch (readCommandLine(argc, argv, scene.session)) {
        case CommandLineRequest::kHelp:
            return printHelp();
        case CommandLineRequest::kVersion:
            return printVersion();
        case CommandLineRequest::kMistake:
            return kStatusBadOption;
        case CommandLineRequest::kRun:
            break;
    }
    if (!checkSessionPlan(scene.session)) return kStatusBadOption;
    Display* checked = openDisplayForGlut(argc, argv);
    if (checked == nullptr) return 1;
    glutInit(&argc, argv);
    XCloseDisplay(checked);  // GLUT has its own connection now
    glutInitDisplayMode(GLUT_RGBA | GLUT_SINGLE | GLUT_DEPTH);
    glutInitWindowPosition(kWindowLeft, kWindowTop);
    glutInitWindowSize(scene.windowWidth, scene.windowHeight);
    glutCreateWindow(kWindowTitle);
    // The identity first: whoever finds the window by its UTF-8 title then finds it complete.
    setWindowIdentity();
    setUtf8Title(kWindowTitle);
    initScene();
    registerCallbacks();
    if (sessionPlanned(scene.session)) registerSessionCallbacks();
    glutMainLoop();
    return 0;
}
