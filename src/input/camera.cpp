#include "input/camera.h"

#include <GL/glut.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "input/keys.h"

namespace {

// eye + sign * step, each component summed in 64 bits and stored as a float.
void moveEye(Vec3& eye, const Vec3& step, double sign) {
    eye.x = static_cast<float>(eye.x + sign * step.x);
    eye.y = static_cast<float>(eye.y + sign * step.y);
    eye.z = static_cast<float>(eye.z + sign * step.z);
}

// Rescales v to unit length; the vectors handed here are always close to unit length.
void normalise(Vec3& v) {
    const double x = v.x;
    const double y = v.y;
    const double z = v.z;
    const double k = 1.0 / std::sqrt(x * x + y * y + z * z);
    v = {static_cast<float>(x * k), static_cast<float>(y * k), static_cast<float>(z * k)};
}

// Pointer offset from the press, in pixels. GLUT reports any int, and the difference of two
// ints can leave the int range; such offsets saturate instead of overflowing.
int pixelOffset(int position, int pressedAt) {
    const long long offset = static_cast<long long>(position) - pressedAt;
    return static_cast<int>(std::clamp<long long>(offset, INT_MIN, INT_MAX));
}

}  // namespace

void loadViewMatrix(const Camera& camera) {
    const Vec3& eye = camera.eye;
    const Vec3& forward = camera.forward;
    const Vec3& up = camera.up;
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    gluLookAt(eye.x, eye.y, eye.z, static_cast<double>(eye.x) + forward.x,
              static_cast<double>(eye.y) + forward.y, static_cast<double>(eye.z) + forward.z, up.x,
              up.y, up.z);
}

void applyCamera() {
    loadViewMatrix(scene.camera);
    glutPostRedisplay();
}

void moveCamera(unsigned char key) {
    Camera& camera = scene.camera;
    switch (key) {
        case kKeyForward:
            moveEye(camera.eye, camera.forward, 1.0);
            break;
        case kKeyBack:
            moveEye(camera.eye, camera.forward, -1.0);
            break;
        case kKeyRight:
            moveEye(camera.eye, camera.right, 1.0);
            break;
        case kKeyLeft:
            moveEye(camera.eye, camera.right, -1.0);
            break;
        case kKeyUp:
            moveEye(camera.eye, camera.up, 1.0);
            break;
        case kKeyDown:
            moveEye(camera.eye, camera.up, -1.0);
            break;
        default:
            break;
    }
    applyCamera();
}

void rotatePair(Vec3& a, Vec3& b, int pixels) {
    const double theta = pixels * kRadiansPerPixel;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double ax = a.x, ay = a.y, az = a.z;
    const double bx = b.x, by = b.y, bz = b.z;
    a = {static_cast<float>(ax * c + bx * s), static_cast<float>(ay * c + by * s),
         static_cast<float>(az * c + bz * s)};
    b = {static_cast<float>(bx * c - ax * s), static_cast<float>(by * c - ay * s),
         static_cast<float>(bz * c - az * s)};
    normalise(a);
    normalise(b);
}

void mouse(int button, int state, int x, int y) {
    if (button != GLUT_RIGHT_BUTTON) return;
    if (state == GLUT_DOWN) {
        scene.dragStartX = x;
        scene.dragStartY = y;
        scene.dragStartCamera = {scene.camera.forward, scene.camera.up, scene.camera.right};
        scene.dragging = true;
    } else if (state == GLUT_UP) {
        scene.dragging = false;
    }
}

void motion(int x, int y) {
    if (!scene.dragging) return;
    Camera& camera = scene.camera;
    // Always from the orientation at the press, so rounding does not build up over a drag.
    camera.forward = scene.dragStartCamera.forward;
    camera.up = scene.dragStartCamera.up;
    camera.right = scene.dragStartCamera.right;
    rotatePair(camera.forward, camera.right, pixelOffset(x, scene.dragStartX));  // yaw about up
    rotatePair(camera.forward, camera.up, pixelOffset(y, scene.dragStartY));  // pitch about right
    applyCamera();
}
