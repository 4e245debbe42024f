#pragma once

// What the window system needs beyond GLUT. Each platform provides these in a file of its own
// (window_x11.cpp, window_win32.cpp).

// Starts GLUT (glutInit) on the display it will draw on, once it is sure there is one: false,
// with a message on stderr that says how to run without one, when there is not.
bool initGlutOnDisplay(int* argc, char** argv);

// Gives the window GLUT just made current what GLUT leaves out: its class, process and icon, so
// that a desktop ties it to the program, and then `title` (UTF-8), whole.
void completeWindow(const char* title);
