#pragma once

// GLUT keyboard and special-key callbacks: the editing commands of the viewer.
void keyboard(unsigned char key, int x, int y);
void specialKey(int key, int x, int y);
