#include "x_session.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

double nowSeconds() {
    using Clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
}

void sleepSeconds(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

namespace {

constexpr double kServerStartTimeout = 20.0;  // seconds
constexpr double kStopTimeout = 5.0;

// Forks a child that dies with the test process (so a killed test leaves no server behind),
// with `keepFd` left open and stdout/stderr going to `logPath`.
pid_t spawn(const std::vector<std::string>& argv, const std::vector<std::string>& extraEnv,
            const std::string& logPath, int keepFd) {
    std::vector<char*> args;
    for (const std::string& arg : argv)
        args.push_back(const_cast<char*>(arg.c_str()));
    args.push_back(nullptr);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid != 0) return pid;
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    // The usual actions of the signals that end a program, as from a terminal, even where the
    // tests were started in the background with them ignored.
    for (int ending : {SIGINT, SIGHUP, SIGTERM})
        signal(ending, SIG_DFL);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (log >= 0) {
        dup2(log, STDOUT_FILENO);
        dup2(log, STDERR_FILENO);
    }
    const int devNull = open("/dev/null", O_RDONLY);
    if (devNull >= 0) dup2(devNull, STDIN_FILENO);
    for (int fd = 3; fd < 1024; ++fd) {
        if (fd != keepFd) close(fd);
    }
    for (const std::string& assignment : extraEnv)
        putenv(const_cast<char*>(assignment.c_str()));
    execvp(args[0], args.data());
    _exit(127);
}

void stopProcess(pid_t& pid, int* status) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    const double deadline = nowSeconds() + kStopTimeout;
    int result = 0;
    while ((result = waitpid(pid, status, WNOHANG)) == 0 && nowSeconds() < deadline) {
        sleepSeconds(0.01);
    }
    if (result == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, status, 0);
    }
    pid = -1;
}

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Property of type UTF8_STRING, or "" when absent or of another type.
std::string utf8Property(Display* display, Window window, const char* name) {
    const Atom property = XInternAtom(display, name, False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    std::string value;
    if (XGetWindowProperty(display, window, property, 0, 1024, False, utf8, &type, &format, &count,
                           &remaining, &data) == Success &&
        type == utf8 && format == 8 && data != nullptr) {
        value.assign(reinterpret_cast<const char*>(data), count);
    }
    if (data != nullptr) XFree(data);
    return value;
}

// Depth-first search below `parent` for a window with that title.
Window findTitled(Display* display, Window parent, const std::string& title) {
    Window rootReturn = 0, parentReturn = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, parent, &rootReturn, &parentReturn, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) {
        if (utf8Property(display, children[i], "_NET_WM_NAME") == title) {
            found = children[i];
        } else {
            found = findTitled(display, children[i], title);
        }
    }
    if (children != nullptr) XFree(children);
    return found;
}

int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;  // a window may vanish between listing and reading it
}

}  // namespace

std::string viewerBinary() {
    const char* override = std::getenv("VIEWER_BINARY");
    if (override != nullptr && *override != '\0') return override;
    return VIEWER_BUILT_BINARY;
}

std::string viewerLauncher() {
    const char* launcher = std::getenv("VIEWER_LAUNCHER");
    return launcher != nullptr ? launcher : "";
}

XSession::~XSession() {
    int status = 0;
    stopProcess(viewerPid, &status);
    if (display != nullptr) XCloseDisplay(display);
    stopProcess(serverPid, &status);
    if (workDir.empty()) return;
    if (std::getenv("E2E_KEEP_LOGS") != nullptr) {
        std::printf("server and viewer logs kept in %s\n", workDir.c_str());
    } else {
        unlink((workDir + "/xvfb.log").c_str());
        unlink((workDir + "/viewer.log").c_str());
        rmdir(workDir.c_str());
    }
}

bool startServer(XSession& session, std::string& error, const std::string& screen) {
    char dirTemplate[] = "/tmp/viewer-e2e-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) {
        error = std::string("mkdtemp: ") + std::strerror(errno);
        return false;
    }
    session.workDir = dirTemplate;
    XSetErrorHandler(ignoreXErrors);

    // Xvfb picks a free display number and writes it to the pipe, so parallel runs never meet.
    int fds[2];
    if (pipe(fds) != 0) {
        error = "pipe failed";
        return false;
    }
    session.serverPid = spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", screen,
                               "-nolisten", "tcp", "-noreset"},
                              {}, session.workDir + "/xvfb.log", fds[1]);
    close(fds[1]);
    std::string number;
    const double deadline = nowSeconds() + kServerStartTimeout;
    while (nowSeconds() < deadline) {
        pollfd entry{fds[0], POLLIN, 0};
        if (poll(&entry, 1, 100) <= 0) continue;
        char c = 0;
        if (read(fds[0], &c, 1) != 1 || c == '\n') break;
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        error =
            "Xvfb did not report a display; its log:\n" + readFile(session.workDir + "/xvfb.log");
        return false;
    }
    session.displayName = ":" + number;
    session.display = XOpenDisplay(session.displayName.c_str());
    if (session.display == nullptr) {
        error = "cannot connect to Xvfb on " + session.displayName;
        return false;
    }
    // A magenta root: the viewer's window keeps what lies under it until the program draws,
    // so no check can mistake an undrawn window for a black frame.
    Display* display = session.display;
    XColor magenta{};
    magenta.red = magenta.blue = 0xffff;
    magenta.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(display, DefaultColormap(display, DefaultScreen(display)), &magenta)) {
        XSetWindowBackground(display, DefaultRootWindow(display), magenta.pixel);
        XClearWindow(display, DefaultRootWindow(display));
        XSync(display, False);
    }
    int event = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(session.display, &event, &errorBase, &major, &minor)) {
        error = "the X server has no XTEST extension";
        return false;
    }
    return true;
}

bool startViewer(XSession& session, const std::string& binary, std::string& error,
                 const std::vector<std::string>& environment,
                 const std::vector<std::string>& arguments) {
    if (access(binary.c_str(), X_OK) != 0) {
        error = "no executable viewer at " + binary;
        return false;
    }
    std::vector<std::string> settings = {
        "DISPLAY=" + (session.launcher.empty() ? "" : session.displayName),
        "LIBGL_ALWAYS_SOFTWARE=1"};
    settings.insert(settings.end(), environment.begin(), environment.end());
    std::vector<std::string> command = {binary, "-display", session.displayName,
                                        "--no-such-option"};
    command.insert(command.end(), arguments.begin(), arguments.end());
    if (!session.launcher.empty()) command.insert(command.begin(), session.launcher);
    session.viewerPid = spawn(command, settings, session.workDir + "/viewer.log", -1);
    return session.viewerPid > 0;
}

bool findWindowByTitle(XSession& session, const std::string& title, double timeoutSeconds) {
    const double deadline = nowSeconds() + timeoutSeconds;
    const Window root = DefaultRootWindow(session.display);
    do {
        const Window found = findTitled(session.display, root, title);
        if (found != 0) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(session.display, found, &attributes) &&
                attributes.map_state == IsViewable) {
                session.window = found;
                return true;
            }
        }
        if (!viewerRunning(session)) return false;
        sleepSeconds(0.05);
    } while (nowSeconds() < deadline);
    return false;
}

std::string windowNetWmName(XSession& session) {
    return utf8Property(session.display, session.window, "_NET_WM_NAME");
}

std::string windowClass(XSession& session) {
    XClassHint hint{nullptr, nullptr};
    if (!XGetClassHint(session.display, session.window, &hint)) return "";
    const std::string both = std::string("\"") + (hint.res_name ? hint.res_name : "") + "\", \"" +
                             (hint.res_class ? hint.res_class : "") + "\"";
    if (hint.res_name != nullptr) XFree(hint.res_name);
    if (hint.res_class != nullptr) XFree(hint.res_class);
    return both;
}

std::vector<unsigned long> windowCardinals(XSession& session, const char* name) {
    std::vector<unsigned long> items;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, remaining = 0;
    unsigned char* data = nullptr;
    // Xlib hands 32-bit items over as longs.
    if (XGetWindowProperty(session.display, session.window,
                           XInternAtom(session.display, name, False), 0, 1 << 20, False,
                           XA_CARDINAL, &type, &format, &count, &remaining, &data) == Success &&
        type == XA_CARDINAL && format == 32 && data != nullptr) {
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        items.assign(values, values + count);
    }
    if (data != nullptr) XFree(data);
    return items;
}

WindowGeometry windowGeometry(XSession& session) {
    WindowGeometry geometry{0, 0, 0, 0, false};
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(session.display, session.window, &attributes)) return geometry;
    Window child = 0;
    XTranslateCoordinates(session.display, session.window, DefaultRootWindow(session.display), 0, 0,
                          &geometry.x, &geometry.y, &child);
    geometry.width = attributes.width;
    geometry.height = attributes.height;
    geometry.mapped = attributes.map_state == IsViewable;
    return geometry;
}

void focusWindow(XSession& session) {
    const WindowGeometry geometry = windowGeometry(session);
    XTestFakeMotionEvent(session.display, DefaultScreen(session.display),
                         geometry.x + geometry.width / 2, geometry.y + geometry.height / 2,
                         CurrentTime);
    XSetInputFocus(session.display, session.window, RevertToPointerRoot, CurrentTime);
    XSync(session.display, False);
}

bool pressKey(XSession& session, unsigned long keysym) {
    Display* display = session.display;
    const KeyCode code = XKeysymToKeycode(display, keysym);
    if (code == 0) return false;
    // Level 1 of a key is its shifted symbol.
    const bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != keysym &&
                         XkbKeycodeToKeysym(display, code, 0, 1) == keysym;
    const KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    if (shifted) XTestFakeKeyEvent(display, shift, True, CurrentTime);
    XTestFakeKeyEvent(display, code, True, CurrentTime);
    XTestFakeKeyEvent(display, code, False, CurrentTime);
    if (shifted) XTestFakeKeyEvent(display, shift, False, CurrentTime);
    XSync(display, False);
    return true;
}

void rightDrag(XSession& session, int x0, int y0, int x1, int y1, int steps) {
    Display* display = session.display;
    const int screen = DefaultScreen(display);
    const WindowGeometry geometry = windowGeometry(session);
    XTestFakeMotionEvent(display, screen, geometry.x + x0, geometry.y + y0, CurrentTime);
    XTestFakeButtonEvent(display, 3, True, CurrentTime);
    XSync(display, False);
    for (int i = 1; i <= steps; ++i) {
        const int x = x0 + (x1 - x0) * i / steps;
        const int y = y0 + (y1 - y0) * i / steps;
        XTestFakeMotionEvent(display, screen, geometry.x + x, geometry.y + y, CurrentTime);
        XSync(display, False);
    }
    XTestFakeButtonEvent(display, 3, False, CurrentTime);
    XSync(display, False);
}

void sendDeleteWindow(XSession& session) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = session.window;
    event.xclient.message_type = XInternAtom(session.display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] =
        static_cast<long>(XInternAtom(session.display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(session.display, session.window, False, NoEventMask, &event);
    XSync(session.display, False);
}

Frame grabWindow(XSession& session) {
    Frame frame;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(session.display, session.window, &attributes)) return frame;
    XImage* image = XGetImage(session.display, session.window, 0, 0, attributes.width,
                              attributes.height, AllPlanes, ZPixmap);
    if (image == nullptr) return frame;
    frame.width = attributes.width;
    frame.height = attributes.height;
    frame.rgb.resize(static_cast<size_t>(frame.width) * frame.height * 3);
    // Channel masks of the visual, e.g. 0xff0000 / 0xff00 / 0xff for 24-bit TrueColor.
    const unsigned long masks[3] = {image->red_mask, image->green_mask, image->blue_mask};
    int shifts[3];
    unsigned long maxima[3];
    for (int c = 0; c < 3; ++c) {
        shifts[c] = 0;
        while (masks[c] != 0 && ((masks[c] >> shifts[c]) & 1) == 0)
            ++shifts[c];
        maxima[c] = masks[c] >> shifts[c];
        if (maxima[c] == 0) maxima[c] = 1;
    }
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y);
            uint8_t* out = &frame.rgb[(static_cast<size_t>(y) * frame.width + x) * 3];
            for (int c = 0; c < 3; ++c) {
                out[c] = static_cast<uint8_t>(((pixel & masks[c]) >> shifts[c]) * 255 / maxima[c]);
            }
        }
    }
    XDestroyImage(image);
    return frame;
}

bool viewerRunning(XSession& session) {
    if (session.viewerPid <= 0) return false;
    if (waitpid(session.viewerPid, &session.viewerStatus, WNOHANG) == session.viewerPid) {
        session.viewerPid = -1;
        return false;
    }
    return true;
}

bool waitViewerExit(XSession& session, double timeoutSeconds) {
    const double deadline = nowSeconds() + timeoutSeconds;
    while (viewerRunning(session)) {
        if (nowSeconds() > deadline) return false;
        sleepSeconds(0.02);
    }
    return true;
}

std::string viewerLog(const XSession& session) {
    return readFile(session.workDir + "/viewer.log");
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}
