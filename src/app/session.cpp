#include "app/session.h"

#include <GL/freeglut.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/scene.h"
#include "field/mesh.h"
#include "input/commands.h"
#include "input/keys.h"
#include "output/file_platform.h"
#include "output/mesh_file.h"
#include "output/output_file.h"
#include "output/png_file.h"
#include "render/display.h"

SessionPlan sessionPlan;

namespace {

constexpr int kStatusFailed = 2;  // a file could not be written

// A key as the callbacks take it: a character for keyboard, a GLUT key for specialKey.
struct ScriptedKey {
    bool special;
    int code;
};

// The names of keys that are no single character as typed.
struct KeyName {
    const char* name;
    ScriptedKey key;
};
// clang-format off
const KeyName kKeyNames[] = {
    {"Escape", {false, kKeyEscape}},
    {"BackSpace", {false, kKeyBackspace}},
    {"Delete", {false, kKeyDelete}},
    {"space", {false, ' '}},
    {"Left", {true, GLUT_KEY_LEFT}},
    {"Right", {true, GLUT_KEY_RIGHT}},
    {"Up", {true, GLUT_KEY_UP}},
    {"Down", {true, GLUT_KEY_DOWN}},
    {"Page_Up", {true, GLUT_KEY_PAGE_UP}},
    {"Page_Down", {true, GLUT_KEY_PAGE_DOWN}},
    {"Home", {true, GLUT_KEY_HOME}},
    {"End", {true, GLUT_KEY_END}},
};
// clang-format on

// Reads the next name of a key list and moves past it. False at the end of the list, or, with
// `unknown` set to the name, at a name that is neither one character nor in kKeyNames.
bool nextKey(const char*& list, ScriptedKey& key, std::string& unknown) {
    while (*list == ' ')
        ++list;
    if (*list == '\0') return false;
    const char* end = std::strchr(list, ' ');
    const std::size_t length = end == nullptr ? std::strlen(list) : end - list;
    const std::string name(list, length);
    list += length;
    if (length == 1) {
        key = {false, static_cast<unsigned char>(name[0])};
        return true;
    }
    for (const KeyName& known : kKeyNames) {
        if (name == known.name) {
            key = known.key;
            return true;
        }
    }
    unknown = name;
    return false;
}

void report(const char* path, const std::string& reason) {
    printError(std::string("scalar-field-viewer: ") + path + ": " + reason + "\n");
}

// Whether the name ends in `extension` (".png"), in any case.
bool hasExtension(const char* path, const char* extension) {
    const std::size_t length = std::strlen(path), wanted = std::strlen(extension);
    if (length < wanted) return false;
    for (std::size_t i = 0; i < wanted; ++i) {
        if (std::tolower(static_cast<unsigned char>(path[length - wanted + i])) != extension[i])
            return false;
    }
    return true;
}

bool writeScreenshot(const char* path) {
    const SessionPlan& plan = sessionPlan;
    if (plan.windowLost != nullptr) {
        report(path, std::string("no picture to read: ") + plan.windowLost);
        return false;
    }
    if (plan.framesDrawn == 0) {
        report(path, "no picture to read: the window was never shown on the screen");
        return false;
    }
    const int width = glutGet(GLUT_WINDOW_WIDTH);
    const int height = glutGet(GLUT_WINDOW_HEIGHT);
    const std::size_t bytes = static_cast<std::size_t>(width) * height * 3;
    auto* rgb = static_cast<unsigned char*>(std::malloc(bytes > 0 ? bytes : 1));
    if (rgb == nullptr) {
        report(path, "out of memory");
        return false;
    }
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadBuffer(GL_FRONT);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    // Mesa 25's software renderer (Debian 13) otherwise still owes the window an image after the
    // read, puts it after GLUT has destroyed the window at exit, and Xlib ends the process with
    // status 1 on the error.
    glFinish();
    OutputFile output;
    std::size_t size = 0;
    unsigned char* png = encodePng(rgb, width, height, size, output.reason);
    std::free(rgb);
    bool written = false;
    if (png != nullptr && beginOutput(output, path)) {
        writeOutput(output, reinterpret_cast<const char*>(png), size);
        written = finishOutput(output);
    }
    std::free(png);
    if (!written) report(path, output.reason);
    return written;
}

bool writeMesh(const char* path) {
    MeshFormat format = MeshFormat::kPly;
    meshFormatOf(path, format);  // checked at start
    SurfaceMesh mesh;
    OutputFile output;
    bool written = false;
    if (!buildSurfaceMesh(mesh, scene.grid, scene.isolevel, scene.fieldSummary)) {
        output.reason = "out of memory";
    } else if (beginOutput(output, path)) {
        encodeMesh(mesh, format, outputSink, &output);
        written = finishOutput(output);
    }
    releaseSurfaceMesh(mesh);
    if (!written) report(path, output.reason);
    return written;
}

// Writes the files the plan asks for and returns the exit status: 0, or kStatusFailed when any
// could not be written. The picture is the window as the last frame left it, read back, not drawn
// again: a frame's outline takes its shade from the normal the frame before left current, so a
// new frame need not be the same. The mesh is the scene's surface as the session ends, the last
// frame's but when a key acted after it and no frame followed (keys typed faster than frames).
int finishSession() {
    SessionPlan& plan = sessionPlan;
    plan.ending = true;
    bool written = true;
    if (plan.screenshotPath != nullptr) written = writeScreenshot(plan.screenshotPath);
    if (plan.meshPath != nullptr) written = writeMesh(plan.meshPath) && written;
    return written ? EXIT_SUCCESS : kStatusFailed;
}

void sessionKeyboard(unsigned char key, int x, int y) {
    if (key == kKeyEscape) std::exit(finishSession());
    keyboard(key, x, y);
}

// The window's close; also called when the process ends and GLUT takes its window down, by then
// after the files are written.
void sessionClose() {
    if (!sessionPlan.ending) std::exit(finishSession());
}

void actOnNextKey(int value);

// While listed keys remain, the next one is due once the events in hand are seen.
void keyDueNext() {
    SessionPlan& plan = sessionPlan;
    const char* rest = plan.keys;
    ScriptedKey key;
    std::string unknown;
    if (!plan.keyDue && rest != nullptr && nextKey(rest, key, unknown)) {
        plan.keyDue = true;
        glutTimerFunc(0, actOnNextKey, 0);
    }
}

// Acts on the next listed key through the callback its typing would reach, then asks for the
// frame after it (a key that changes nothing asks for none itself). A window that is not shown
// gets no frame, so the key after is due at once.
void actOnNextKey(int /*value*/) {
    SessionPlan& plan = sessionPlan;
    plan.keyDue = false;
    ScriptedKey key;
    std::string unknown;
    if (!nextKey(plan.keys, key, unknown)) return;
    if (key.special) {
        specialKey(key.code, 0, 0);
    } else {
        sessionKeyboard(static_cast<unsigned char>(key.code), 0, 0);
    }
    glutPostRedisplay();
    if (plan.windowHidden) keyDueNext();
}

// The frame; then the next listed key.
void sessionDisplay() {
    display();
    ++sessionPlan.framesDrawn;
    keyDueNext();
}

// The window shown, covered or hidden. GLUT draws no frame in a window that is not shown (one off
// the screen, say), which would hold the listed keys for ever.
void sessionWindowStatus(int state) {
    SessionPlan& plan = sessionPlan;
    plan.windowHidden = state == GLUT_HIDDEN || state == GLUT_FULLY_COVERED;
    if (plan.windowHidden) keyDueNext();
}

}  // namespace

bool sessionPlanned(const SessionPlan& plan) {
    return plan.meshPath != nullptr || plan.screenshotPath != nullptr || plan.keys != nullptr;
}

bool checkSessionPlan(const SessionPlan& plan) {
    bool good = true;
    std::string reason;
    if (plan.meshPath != nullptr) {
        MeshFormat format;
        if (!meshFormatOf(plan.meshPath, format)) {
            report(plan.meshPath, "unknown mesh format: the name must end in .ply, .obj or .stl");
            good = false;
        } else if (!checkWritable(plan.meshPath, reason)) {
            report(plan.meshPath, "cannot write there: " + reason);
            good = false;
        }
    }
    if (plan.screenshotPath != nullptr) {
        if (!hasExtension(plan.screenshotPath, ".png")) {
            report(plan.screenshotPath,
                   "a screenshot is written as PNG: the name must end in .png");
            good = false;
        } else if (!checkWritable(plan.screenshotPath, reason)) {
            report(plan.screenshotPath, "cannot write there: " + reason);
            good = false;
        }
    }
    const char* list = plan.keys;
    ScriptedKey key;
    std::string unknown;
    while (list != nullptr && nextKey(list, key, unknown)) {
    }
    if (!unknown.empty()) {
        std::string names = "single characters as typed";
        for (const KeyName& known : kKeyNames)
            names += std::string(", ") + known.name;
        report("--keys", "unknown key name \"" + unknown + "\"; key names are " + names +
                             ", separated by spaces");
        good = false;
    }
    return good;
}

SessionCallbacks sessionCallbacks() {
    const SessionPlan& plan = sessionPlan;
    SessionCallbacks session;
    if (!sessionPlanned(plan)) return session;
    session.keyboard = sessionKeyboard;
    session.display = sessionDisplay;
    if (plan.keys != nullptr) session.windowStatus = sessionWindowStatus;
    if (plan.meshPath != nullptr || plan.screenshotPath != nullptr) session.close = sessionClose;
    return session;
}

int endWithoutWindow(bool displayLost) {
    SessionPlan& plan = sessionPlan;
    if (displayLost) printError("scalar-field-viewer: the connection to the display was lost\n");
    // Lost while the screenshot was being read: the files are not started again.
    if (plan.ending) return kStatusFailed;
    plan.windowLost = displayLost ? "the connection to the display was lost"
                                  : "the window was destroyed by another program";
    const int status = finishSession();
    return status == EXIT_SUCCESS && displayLost ? EXIT_FAILURE : status;
}
