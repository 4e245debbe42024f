#pragma once

// The GL 1.1 layer's own interface between its parts: the GL calls (gl.cpp), GLU (glu.cpp) and
// GLUT (glut.cpp), over WebGL 1 through emscripten.

#include <GL/gl.h>

// Makes the shaders and the buffer on the WebGL context just made current, for a canvas of
// `width` x `height` pixels. False when WebGL cannot compile them.
bool startWebGl(int width, int height);

// Draws whatever is batched; at the end of each frame and before anything reads the picture.
void flushWebGl();

// A vertex of the primitive begun with glBegin, with a normal of its own that leaves the current
// normal as it was (as Mesa treats the normal array of freeglut's wire shapes).
void vertexWithNormal(const GLfloat position[3], const GLfloat normal[3]);
