#pragma once

// A recording stand-in for OpenGL, GLU and GLUT, linked into the tests in place of the real
// libraries. Every call the program makes is appended to glDouble.calls with its arguments;
// array arguments are expanded into their values. A little state is tracked as well, so that
// long runs can switch recording off and still check it.

#include <GL/freeglut.h>

#include <map>
#include <string>
#include <vector>

struct GlCall {
    const char* name;          // the function, e.g. "glVertex3f"
    std::vector<double> args;  // scalar arguments in order, arrays expanded in place
};

struct GlDouble {
    bool recording = true;
    std::vector<GlCall> calls;
    std::map<GLenum, bool> capabilities;  // glEnable / glDisable
    GLenum matrixMode = GL_MODELVIEW;
    int matrixDepth = 0;        // pushes minus pops
    int beginDepth = 0;         // glBegin minus glEnd
    int redisplayRequests = 0;  // glutPostRedisplay calls since the last reset

    // Registered GLUT callbacks.
    void (*displayFunc)() = nullptr;
    void (*reshapeFunc)(int, int) = nullptr;
    void (*keyboardFunc)(unsigned char, int, int) = nullptr;
    void (*specialFunc)(int, int, int) = nullptr;
    void (*mouseFunc)(int, int, int, int) = nullptr;
    void (*motionFunc)(int, int) = nullptr;
    void (*closeFunc)() = nullptr;
};

extern GlDouble glDouble;

// Forgets every recorded call and all tracked state.
void resetGlDouble();

bool isEnabled(GLenum capability);

// Calls with the given name, in order.
std::vector<GlCall> callsNamed(const char* name);
int countCalls(const char* name);

// Index of the first call with this name at or after `from`, or -1.
int findCall(const char* name, int from = 0);

// The characters drawn with glutBitmapCharacter between calls [from, to).
std::string bitmapText(int from, int to);
