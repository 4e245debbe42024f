#pragma once

// A private X server (Xvfb) with the viewer running in it, driven from outside through Xlib and
// XTest as a user would drive it. Every wait polls with a deadline.

#include <X11/Xlib.h>
#include <sys/types.h>

#include <string>
#include <vector>

#include "frame.h"

// Path of the viewer binary: $VIEWER_BINARY if set, else the one the build made.
std::string viewerBinary();

// $VIEWER_LAUNCHER: the program that runs a Windows build of the viewer (Wine's loader); "" for
// the Linux build, which runs itself.
std::string viewerLauncher();

struct XSession {
    pid_t serverPid = -1;     // Xvfb
    pid_t viewerPid = -1;     // the program under test; -1 once reaped
    int viewerStatus = 0;     // waitpid status, valid once the viewer has been reaped
    std::string displayName;  // ":N", chosen by Xvfb itself so that runs can overlap
    std::string workDir;      // temporary folder with the server's and the viewer's logs
    Display* display = nullptr;
    Window window = 0;  // the viewer's top-level window, once found
    // Runs the viewer, e.g. Wine for the Windows build; "" runs it itself.
    std::string launcher = viewerLauncher();

    ~XSession();
};

// Starts Xvfb on a free display with a screen of that size and depth, and connects to it. False,
// with the reason, on failure.
bool startServer(XSession& session, std::string& error, const std::string& screen = "1024x768x24");

// Starts the viewer in the session's server with software OpenGL; `environment` holds extra
// NAME=value settings for the viewer alone, `arguments` the viewer's own options. The server is
// named only by the -display option, with an argument GLUT does not know beside it: both must
// reach GLUT as they are. Through a launcher (a Windows build, which ignores X options) the
// server is named in DISPLAY as well, for Wine.
bool startViewer(XSession& session, const std::string& binary, std::string& error,
                 const std::vector<std::string>& environment = {},
                 const std::vector<std::string>& arguments = {});

// Waits for a top-level window whose _NET_WM_NAME is `title` (UTF-8), and keeps it.
bool findWindowByTitle(XSession& session, const std::string& title, double timeoutSeconds);

// The window's UTF-8 _NET_WM_NAME, or "" when it has none of that type.
std::string windowNetWmName(XSession& session);

// The window's WM_CLASS as "instance", "class"; "" without one.
std::string windowClass(XSession& session);

// A CARDINAL property of the window (_NET_WM_PID, _NET_WM_ICON, ...); empty without one.
std::vector<unsigned long> windowCardinals(XSession& session, const char* name);

struct WindowGeometry {
    int x, y;           // top-left corner of the drawing area on the root window, pixels
    int width, height;  // pixels
    bool mapped;        // shown on the screen
};
WindowGeometry windowGeometry(XSession& session);

// Puts the pointer over the window and gives it the keyboard focus.
void focusWindow(XSession& session);

// Presses and releases the key of a keysym, holding Shift when the keysym needs it.
bool pressKey(XSession& session, unsigned long keysym);

// A right-button drag from (x0, y0) to (x1, y1) in window pixels, in `steps` motion events.
void rightDrag(XSession& session, int x0, int y0, int x1, int y1, int steps);

// Sends WM_DELETE_WINDOW the way a window manager does when the close button is clicked.
void sendDeleteWindow(XSession& session);

// Reads the window's pixels. An empty frame when the window cannot be read.
Frame grabWindow(XSession& session);

// Waits for the viewer to end; true once it has, with viewerStatus set.
bool waitViewerExit(XSession& session, double timeoutSeconds);

// True while the viewer process still runs (reaps it when it has ended).
bool viewerRunning(XSession& session);

// The viewer's stderr and stdout so far, for failure messages.
std::string viewerLog(const XSession& session);

// Describes a waitpid status: "exited with status 0", "killed by signal 11", ...
std::string describeStatus(int status);

// Seconds since an arbitrary fixed point, monotonic.
double nowSeconds();
void sleepSeconds(double seconds);
