// The window's X side: the display check, the window's class, process and icon, and its UTF-8
// title, set through Xlib on the window freeglut made.

#include <GL/glut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "app/window_icon.h"
#include "app/window_platform.h"

namespace {

// Opens the X display that GLUT will open: the last -display NAME, else $DISPLAY. Null, with a
// message on stderr that says how to run without a display, when it cannot be opened.
Display* openDisplayForGlut(int argc, char** argv) {
    // GLUT takes the display from the last -display NAME, else XOpenDisplay reads $DISPLAY.
    const char* name = nullptr;
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "-display") == 0) name = argv[++i];
    }
    Display* display = XOpenDisplay(name);
    if (display != nullptr) return display;
    const char* shown = name != nullptr ? name : std::getenv("DISPLAY");
    if (shown == nullptr || *shown == '\0') {
        std::fputs("scalar-field-viewer: no X display: DISPLAY is not set.\n", stderr);
    } else {
        std::fprintf(stderr, "scalar-field-viewer: cannot open the X display \"%s\".\n", shown);
    }
    std::fputs(
        "It draws in an X window and needs an X display; where there is none, run it\n"
        "under a virtual one: xvfb-run scalar-field-viewer\n",
        stderr);
    return nullptr;
}

// freeglut hands the title to X as a Latin-1 WM_NAME only; window managers show the UTF-8
// _NET_WM_NAME, so set it (and a UTF-8 WM_NAME) on the window that GLUT just made current.
void setUtf8Title(Display* display, Window window, const char* title) {
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const auto* bytes = reinterpret_cast<const unsigned char*>(title);
    const int length = static_cast<int>(std::strlen(title));
    for (const char* name : {"_NET_WM_NAME", "WM_NAME", "_NET_WM_ICON_NAME", "WM_ICON_NAME"}) {
        XChangeProperty(display, window, XInternAtom(display, name, False), utf8, 8,
                        PropModeReplace, bytes, length);
    }
}

// freeglut sets neither the window's class nor its process nor an icon; without them a dock
// cannot tie the window to the program's desktop entry and shows no icon for it.
void setWindowIdentity(Display* display, Window window) {
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
}

constexpr unsigned int kWatchInterval = 100;  // ms between looks for the window's destruction

// The window being watched, on a connection of its own, and what to call once it is gone.
struct WindowWatch {
    int (*ended)(bool displayLost) = nullptr;
    Display* display = nullptr;  // the watch's connection; GLUT's reads every event of its own
    Window window = 0;
    bool destroyed = false;  // an error said so before the DestroyNotify was read
    bool over = false;       // `ended` was called; the process is ending
    int status = 0;          // what `ended` returned
    XErrorHandler xlibErrors = nullptr;
};
WindowWatch watch;

// Errors about a window that another program destroyed are what GLUT's own calls on it meet
// (drawing, and taking it down at exit); any other goes to Xlib's handler, which ends the process.
int windowErrors(Display* display, XErrorEvent* error) {
    if (watch.over) return 0;
    if (error->resourceid == watch.window &&
        (error->error_code == BadWindow || error->error_code == BadDrawable)) {
        watch.destroyed = true;
        return 0;
    }
    return watch.xlibErrors != nullptr ? watch.xlibErrors(display, error) : 0;
}

// Xlib calls this when the server's connection breaks and ends the process if it returns: the
// files are written first, without a call to OpenGL or GLUT, which would only fail again.
int displayLost(Display* /*display*/) {
    if (!watch.over) {
        watch.over = true;
        watch.status = watch.ended(true);
    }
    std::fflush(nullptr);
    _exit(watch.status);
}

void lookForDestruction(int /*value*/) {
    while (!watch.destroyed && XPending(watch.display) > 0) {
        XEvent event;
        XNextEvent(watch.display, &event);
        watch.destroyed =
            event.type == DestroyNotify && event.xdestroywindow.window == watch.window;
    }
    if (!watch.destroyed) {
        glutTimerFunc(kWatchInterval, lookForDestruction, 0);
        return;
    }
    watch.over = true;
    std::exit(watch.ended(false));
}

}  // namespace

bool initGlutOnDisplay(int* argc, char** argv) {
    Display* checked = openDisplayForGlut(*argc, argv);
    if (checked == nullptr) return false;
    glutInit(argc, argv);
    // Closed only once GLUT has its own connection, so that the server never sees its last
    // client leave in between.
    XCloseDisplay(checked);
    return true;
}

void completeWindow(const char* title) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == 0) return;
    // The identity first: whoever finds the window by its UTF-8 title then finds it complete.
    setWindowIdentity(display, window);
    setUtf8Title(display, window, title);
    XFlush(display);
}

void watchWindow(int (*ended)(bool displayLost)) {
    Display* display = glXGetCurrentDisplay();
    const GLXDrawable window = glXGetCurrentDrawable();
    if (display == nullptr || window == 0) return;
    watch.ended = ended;
    watch.window = window;
    XSetIOErrorHandler(displayLost);
    watch.xlibErrors = XSetErrorHandler(windowErrors);
    // freeglut reads DestroyNotify and does nothing: a connection of our own sees it too.
    watch.display = XOpenDisplay(DisplayString(display));
    if (watch.display == nullptr) return;
    XSelectInput(watch.display, window, StructureNotifyMask);
    XSync(watch.display, False);
    glutTimerFunc(kWatchInterval, lookForDestruction, 0);
}
