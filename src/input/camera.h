#pragma once

#include "app/scene.h"

constexpr double kRadiansPerPixel = 0.01;  // turn of the camera per pixel of drag, radians

// Makes GL_MODELVIEW current and loads the look-at matrix of the camera.
void loadViewMatrix(const Camera& camera);

// Loads the scene camera's view and asks for a new frame.
void applyCamera();

// Moves the eye one unit along the camera's own axes for "w"/"s" (forward), "d"/"a" (right)
// and space/"c" (up); case-sensitive. Every key, movement or not, ends in applyCamera.
void moveCamera(unsigned char key);

// Turns the unit vectors a and b in their common plane by pixels * kRadiansPerPixel: for a
// positive count a turns towards the old b and b towards the old -a. Both are then rescaled to
// unit length; the third vector of the frame is the axis and is not touched.
void rotatePair(Vec3& a, Vec3& b, int pixels);

// GLUT mouse callback: a right-button press starts a drag from the current orientation, its
// release ends it. Never changes the view itself.
void mouse(int button, int state, int x, int y);

// GLUT motion callback: during a right-button drag, sets the orientation to the one at the
// press turned by the pointer's whole offset from the press point (yaw about up, then pitch
// about the new right), and reloads the view.
void motion(int x, int y);
