#include "input/camera.h"

#include <GL/glut.h>

void loadViewMatrix(const Camera& camera) {
    const Vec3& eye = camera.eye;
    const Vec3& forward = camera.forward;
    const Vec3& up = camera.up;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, static_cast<double>(eye.x) + forward.x,
              static_cast<double>(eye.y) + forward.y, static_cast<double>(eye.z) + forward.z,
              up.x, up.y, up.z);
}

void applyCamera() {
    loadViewMatrix(scene.camera);
    glutPostRedisplay();
}

void mouse(int /*button*/, int /*state*/, int /*x*/, int /*y*/) {}

void motion(int /*x*/, int /*y*/) {}
