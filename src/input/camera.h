#pragma once

#include "app/scene.h"

// Makes GL_MODELVIEW current and loads the look-at matrix of the camera.
void loadViewMatrix(const Camera& camera);

// Loads the scene camera's view and asks for a new frame.
void applyCamera();

// GLUT mouse and motion callbacks: right-button drags turn the camera.
void mouse(int button, int state, int x, int y);
void motion(int x, int y);
