#pragma once

// What the window system needs beyond GLUT. Each platform provides these in a file of its own
// (window_x11.cpp, window_win32.cpp, window_web.cpp).

// Starts GLUT (glutInit) on the display it will draw on, once it is sure there is one: false,
// with a message on stderr that says how to run without one, when there is not.
bool initGlutOnDisplay(int* argc, char** argv);

// Gives the window GLUT just made current what GLUT leaves out: its class, process and icon, so
// that a desktop ties it to the program, and then `title` (UTF-8), whole.
void completeWindow(const char* title);

// Watches for the window to go away without a close request: destroyed by another program, or
// its display's connection lost. Then calls `ended(displayLost)`, which must make no call to
// OpenGL or GLUT, and ends the process with the status it returns. Where no other program can
// destroy the window and the display cannot go (Windows), there is nothing to watch.
void watchWindow(int (*ended)(bool displayLost));
