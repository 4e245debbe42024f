// The GLUT calls the program makes, in a page: the window is the canvas (id "canvas"), whose
// WebGL context keeps its picture after a frame (so the screenshot and a test can read it back);
// events, timers and frames come from the browser through glut_events.js, which calls the
// functions exported here. Also freeglut's wire sphere and Times Roman 10 bitmap glyphs, the
// latter from freeglut's own font data.

#include <GL/freeglut.h>
#include <emscripten/emscripten.h>
#include <emscripten/html5.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "webgl/fg_internal.h"
#include "webgl/webgl.h"

extern "C" {
// freeglut's font data (fg_font_data.c).
extern SFG_Font fgFontTimesRoman10;

// glut_events.js.
void webglutListen();
void webglutRequestFrame();
void webglutSetTimer(int slot, unsigned milliseconds);
}

namespace {

constexpr int kTimerSlots = 16;  // timers waiting at once

struct Timer {
    void (*callback)(int) = nullptr;
    int value = 0;
};

struct Glut {
    int width = 300;  // GLUT's default window size
    int height = 300;
    double start = 0;
    void (*display)() = nullptr;
    void (*reshape)(int, int) = nullptr;
    void (*keyboard)(unsigned char, int, int) = nullptr;
    void (*special)(int, int, int) = nullptr;
    void (*mouse)(int, int, int, int) = nullptr;
    void (*motion)(int, int) = nullptr;
    void (*close)() = nullptr;
    Timer timers[kTimerSlots];
};

Glut glut;

// freeglut's table of sines and cosines around a circle (or half of it), n steps, the last the
// first again.
void circleTable(float* sint, float* cost, int n, bool halfCircle) {
    const int size = std::abs(n);
    const float angle =
        (halfCircle ? 1 : 2) * static_cast<float>(M_PI) / static_cast<float>(n == 0 ? 1 : n);
    sint[0] = 0.0f;
    cost[0] = 1.0f;
    for (int i = 1; i < size; ++i) {
        sint[i] = static_cast<float>(std::sin(static_cast<double>(angle * i)));
        cost[i] = static_cast<float>(std::cos(static_cast<double>(angle * i)));
    }
    if (halfCircle) {
        sint[size] = 0.0f;
        cost[size] = -1.0f;
    } else {
        sint[size] = sint[0];
        cost[size] = cost[0];
    }
}

}  // namespace

extern "C" {

void* glutBitmapTimesRoman10 = &fgFontTimesRoman10;

void glutInit(int* /*argc*/, char** /*argv*/) {
    glut.start = emscripten_get_now();
}

void glutInitDisplayMode(unsigned int /*mode*/) {
    // Always RGBA with depth; the picture is kept between frames, as single buffering keeps it.
}

void glutInitWindowPosition(int /*x*/, int /*y*/) {
    // The canvas sits where the page puts it.
}

void glutInitWindowSize(int width, int height) {
    glut.width = width;
    glut.height = height;
}

int glutCreateWindow(const char* title) {
    emscripten_set_canvas_element_size("#canvas", glut.width, glut.height);
    EmscriptenWebGLContextAttributes attributes;
    emscripten_webgl_init_context_attributes(&attributes);
    attributes.alpha = false;
    attributes.depth = true;
    attributes.stencil = false;
    attributes.antialias = false;
    attributes.preserveDrawingBuffer = true;
    attributes.majorVersion = 1;
    attributes.minorVersion = 0;
    const EMSCRIPTEN_WEBGL_CONTEXT_HANDLE context =
        emscripten_webgl_create_context("#canvas", &attributes);
    if (context <= 0 ||
        emscripten_webgl_make_context_current(context) != EMSCRIPTEN_RESULT_SUCCESS ||
        !startWebGl(glut.width, glut.height)) {
        std::fputs("scalar-field-viewer: WebGL cannot start in this browser.\n", stderr);
        std::exit(1);
    }
    emscripten_set_window_title(title);
    return 1;
}

void glutDisplayFunc(void (*callback)()) {
    glut.display = callback;
}

void glutReshapeFunc(void (*callback)(int, int)) {
    glut.reshape = callback;
}

void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
    glut.keyboard = callback;
}

void glutSpecialFunc(void (*callback)(int, int, int)) {
    glut.special = callback;
}

void glutMouseFunc(void (*callback)(int, int, int, int)) {
    glut.mouse = callback;
}

void glutMotionFunc(void (*callback)(int, int)) {
    glut.motion = callback;
}

void glutCloseFunc(void (*callback)()) {
    glut.close = callback;
}

// The canvas is shown as long as the page is: its status never changes, so it is never told.
void glutWindowStatusFunc(void (*)(int)) {}

void glutPostRedisplay() {
    webglutRequestFrame();
}

void glutTimerFunc(unsigned int milliseconds, void (*callback)(int), int value) {
    for (int slot = 0; slot < kTimerSlots; ++slot) {
        if (glut.timers[slot].callback != nullptr) continue;
        glut.timers[slot] = {callback, value};
        webglutSetTimer(slot, milliseconds);
        return;
    }
}

int glutGet(GLenum query) {
    switch (query) {
        case GLUT_WINDOW_WIDTH:
            return glut.width;
        case GLUT_WINDOW_HEIGHT:
            return glut.height;
        case GLUT_ELAPSED_TIME:
            return static_cast<int>(emscripten_get_now() - glut.start);
        default:
            return 0;
    }
}

// The window is shown: its size, then the first frame. Control goes back to the browser, which
// calls in for every event; nothing after glutMainLoop runs, as on the desktop.
void glutMainLoop() {
    if (glut.reshape != nullptr) glut.reshape(glut.width, glut.height);
    webglutListen();
    webglutRequestFrame();
    emscripten_exit_with_live_runtime();
}

// freeglut's wire sphere: a line strip from pole to pole for each slice, then a line loop
// around each stack, with freeglut's vertices and normals. As with Mesa, the normals are the
// sphere's own and the current normal stays as it was.
void glutWireSphere(GLdouble radius, GLint slices, GLint stacks) {
    constexpr int kMaxDivisions = 256;
    if (slices <= 0 || stacks < 2 || slices > kMaxDivisions || stacks > kMaxDivisions) return;
    float sint1[kMaxDivisions + 1], cost1[kMaxDivisions + 1];
    float sint2[kMaxDivisions + 1], cost2[kMaxDivisions + 1];
    circleTable(sint1, cost1, -slices, false);
    circleTable(sint2, cost2, stacks, true);
    const float r = static_cast<float>(radius);
    const auto vertex = [&](int stack, int slice) {
        // Stack 0 and `stacks` are the poles.
        GLfloat n[3];
        if (stack == 0 || stack == stacks) {
            n[0] = 0.0f;
            n[1] = 0.0f;
            n[2] = stack == 0 ? 1.0f : -1.0f;
        } else {
            n[0] = cost1[slice] * sint2[stack];
            n[1] = sint1[slice] * sint2[stack];
            n[2] = cost2[stack];
        }
        const GLfloat p[3] = {n[0] * r, n[1] * r, n[2] * r};
        vertexWithNormal(p, n);
    };
    for (int slice = 0; slice < slices; ++slice) {
        glBegin(GL_LINE_STRIP);
        for (int stack = 0; stack <= stacks; ++stack)
            vertex(stack, slice);
        glEnd();
    }
    for (int stack = 1; stack < stacks; ++stack) {
        glBegin(GL_LINE_LOOP);
        for (int slice = 0; slice < slices; ++slice)
            vertex(stack, slice);
        glEnd();
    }
}

// As freeglut draws a glyph: the character's bitmap at the raster position, which then moves on
// by the glyph's width.
void glutBitmapCharacter(void* font, int character) {
    if (font != GLUT_BITMAP_TIMES_ROMAN_10 || character < 1 || character >= 256) return;
    const SFG_Font& f = fgFontTimesRoman10;
    const GLubyte* face = f.Characters[character];
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glBitmap(face[0], f.Height, f.xorig, f.yorig, static_cast<float>(face[0]), 0.0f, face + 1);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
}

// Called by glut_events.js.

EMSCRIPTEN_KEEPALIVE void webglutDisplay() {
    if (glut.display != nullptr) glut.display();
    flushWebGl();
}

EMSCRIPTEN_KEEPALIVE void webglutKeyboard(int key, int x, int y) {
    if (glut.keyboard != nullptr) glut.keyboard(static_cast<unsigned char>(key), x, y);
}

EMSCRIPTEN_KEEPALIVE void webglutSpecial(int key, int x, int y) {
    if (glut.special != nullptr) glut.special(key, x, y);
}

EMSCRIPTEN_KEEPALIVE void webglutMouse(int button, int state, int x, int y) {
    if (glut.mouse != nullptr) glut.mouse(button, state, x, y);
}

EMSCRIPTEN_KEEPALIVE void webglutMotion(int x, int y) {
    if (glut.motion != nullptr) glut.motion(x, y);
}

EMSCRIPTEN_KEEPALIVE void webglutTimer(int slot) {
    if (slot < 0 || slot >= kTimerSlots) return;
    const Timer timer = glut.timers[slot];
    glut.timers[slot] = {};
    if (timer.callback != nullptr) timer.callback(timer.value);
}

}  // extern "C"
