#pragma once

// The program's window title, UTF-8.
extern const char kWindowTitle[];

// GLUT reshape callback: the viewport follows the window; the projection keeps aspect 1.
void reshape(int width, int height);

// The callbacks a session planned on the command line (--keys, --export-surface, --screenshot)
// puts in place of the plain ones; null leaves the plain one.
struct SessionCallbacks {
    void (*keyboard)(unsigned char key, int x, int y) = nullptr;  // Escape writes the files first
    void (*display)() = nullptr;                // the frame, then the next listed key is due
    void (*windowStatus)(int state) = nullptr;  // a hidden window holds no listed key back
    void (*close)() = nullptr;  // closing the window writes the files; plain GLUT has none
};

// Registers every event callback of the window, here alone: the six in their fixed order, then
// those a session replaces or adds (session.cpp says what each does).
void registerCallbacks(const SessionCallbacks& session = {});
