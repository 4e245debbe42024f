#pragma once

// The program's window title, UTF-8.
extern const char kWindowTitle[];

// GLUT reshape callback: the viewport follows the window; the projection keeps aspect 1.
void reshape(int width, int height);

// Registers the six event callbacks in their fixed order.
void registerCallbacks();
