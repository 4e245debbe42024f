#include "input/camera.h"

#include <gtest/gtest.h>

#include <cmath>

#include "input/commands.h"
#include "scene_fixture.h"

namespace {

using drag = SceneTest;
using movementKeys = SceneTest;

constexpr int kPressX = 300;  // window pixels
constexpr int kPressY = 300;

void expectExactly(const Vec3& v, float x, float y, float z) {
    EXPECT_EQ(v.x, x);
    EXPECT_EQ(v.y, y);
    EXPECT_EQ(v.z, z);
}

void expectNear(const Vec3& v, const Vec3& w, double tolerance) {
    EXPECT_NEAR(v.x, w.x, tolerance);
    EXPECT_NEAR(v.y, w.y, tolerance);
    EXPECT_NEAR(v.z, w.z, tolerance);
}

// Each component rounded to six decimals, compared as whole millionths.
void expectSixDecimals(const Vec3& v, long x, long y, long z) {
    EXPECT_EQ(std::lround(v.x * 1e6), x);
    EXPECT_EQ(std::lround(v.y * 1e6), y);
    EXPECT_EQ(std::lround(v.z * 1e6), z);
}

// The last calls are exactly one reload of the current camera's view and one redraw request.
void expectViewReloaded() {
    const std::vector<GlCall>& calls = glDouble.calls;
    ASSERT_GE(calls.size(), 4u);
    const size_t first = calls.size() - 4;
    EXPECT_STREQ(calls[first].name, "glMatrixMode");
    EXPECT_EQ(calls[first].args, std::vector<double>{GL_MODELVIEW});
    EXPECT_STREQ(calls[first + 1].name, "glLoadIdentity");
    EXPECT_STREQ(calls[first + 2].name, "gluLookAt");
    EXPECT_STREQ(calls[first + 3].name, "glutPostRedisplay");
    const Camera& c = scene.camera;
    const double e[3] = {c.eye.x, c.eye.y, c.eye.z};
    EXPECT_EQ(calls[first + 2].args,
              (std::vector<double>{e[0], e[1], e[2], e[0] + c.forward.x, e[1] + c.forward.y,
                                   e[2] + c.forward.z, c.up.x, c.up.y, c.up.z}));
    EXPECT_EQ(glDouble.matrixMode, static_cast<GLenum>(GL_MODELVIEW));
}

void dragBy(int dx, int dy) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    motion(kPressX + dx, kPressY + dy);
    mouse(GLUT_RIGHT_BUTTON, GLUT_UP, kPressX + dx, kPressY + dy);
}

TEST_F(drag, workedExampleFromTheInitialCamera) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    EXPECT_EQ(glDouble.redisplayRequests, 0);
    motion(kPressX + 100, kPressY + 50);
    const Camera& c = scene.camera;
    expectSixDecimals(c.forward, 738460, 479426, -474160);
    expectSixDecimals(c.up, -403423, 877583, 259035);
    expectSixDecimals(c.right, 540302, 0, 841471);
    expectExactly(c.eye, 0, 0, 100);
    ASSERT_EQ(glDouble.calls.size(), 4u);
    expectViewReloaded();
    EXPECT_EQ(glDouble.redisplayRequests, 1);
}

TEST_F(drag, motionAtThePressPointKeepsTheFrameExactly) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    motion(kPressX, kPressY);
    expectExactly(scene.camera.forward, 0, 0, -1);
    expectExactly(scene.camera.up, 0, 1, 0);
    expectExactly(scene.camera.right, 1, 0, 0);
    expectViewReloaded();
    EXPECT_EQ(glDouble.redisplayRequests, 1);

    // Out and back within one drag returns to the press orientation.
    motion(kPressX + 100, kPressY - 70);
    motion(kPressX, kPressY);
    expectExactly(scene.camera.forward, 0, 0, -1);
    expectExactly(scene.camera.up, 0, 1, 0);
    expectExactly(scene.camera.right, 1, 0, 0);
}

TEST_F(drag, orientationIsAFunctionOfTheOffsetAlone) {
    dragBy(40, -25);  // start the next drag from a turned camera
    const CameraFrame start{scene.camera.forward, scene.camera.up, scene.camera.right};

    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 20);
    for (int step = 0; step < 50; ++step) {
        motion(10 + step * 7 % 300, 20 - step * 13 % 200);  // wander about
    }
    motion(110, 70);
    const Camera wandering = scene.camera;

    scene.camera.forward = start.forward;
    scene.camera.up = start.up;
    scene.camera.right = start.right;
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 500, 400);
    motion(600, 450);
    expectExactly(wandering.forward, scene.camera.forward.x, scene.camera.forward.y,
                  scene.camera.forward.z);
    expectExactly(wandering.up, scene.camera.up.x, scene.camera.up.y, scene.camera.up.z);
    expectExactly(wandering.right, scene.camera.right.x, scene.camera.right.y,
                  scene.camera.right.z);

    // Back at the press point: the press orientation, up to its rescaling.
    motion(500, 400);
    expectNear(scene.camera.forward, start.forward, 1e-7);
    expectNear(scene.camera.up, start.up, 1e-7);
    expectNear(scene.camera.right, start.right, 1e-7);
}

TEST_F(drag, turnsKeepTheFrameRightHandedAndCompoundAcrossDrags) {
    dragBy(37, 0);  // pure yaw leaves up; pure pitch leaves right
    expectExactly(scene.camera.up, 0, 1, 0);
    startScene();
    dragBy(0, -80);
    expectExactly(scene.camera.right, 1, 0, 0);

    startScene();
    dragBy(100, 0);
    dragBy(100, 0);
    const Camera twice = scene.camera;
    startScene();
    dragBy(200, 0);
    expectNear(twice.forward, scene.camera.forward, 1e-6);
    expectNear(twice.right, scene.camera.right, 1e-6);

    startScene();
    for (int i = 0; i < 20; ++i)
        dragBy(61 - 7 * i, 13 * i - 90);
    const Vec3& f = scene.camera.forward;
    const Vec3& u = scene.camera.up;
    const Vec3& r = scene.camera.right;
    // right = forward x up, and all three of unit length.
    expectNear(r, {f.y * u.z - f.z * u.y, f.z * u.x - f.x * u.z, f.x * u.y - f.y * u.x}, 1e-5);
    for (const Vec3* v : {&f, &u, &r}) {
        EXPECT_NEAR(std::sqrt(v->x * v->x + v->y * v->y + v->z * v->z), 1.0, 1e-6);
    }
}

TEST_F(drag, otherButtonsAndReleasedButtonChangeNothing) {
    const Camera before = scene.camera;
    motion(400, 350);  // no button
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    motion(400, 350);
    mouse(GLUT_MIDDLE_BUTTON, GLUT_DOWN, kPressX, kPressY);
    motion(400, 350);
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    mouse(GLUT_RIGHT_BUTTON, GLUT_UP, kPressX, kPressY);  // press and release, no motion
    motion(400, 350);
    expectExactly(scene.camera.forward, before.forward.x, before.forward.y, before.forward.z);
    expectExactly(scene.camera.up, before.up.x, before.up.y, before.up.z);
    expectExactly(scene.camera.right, before.right.x, before.right.y, before.right.z);
    EXPECT_TRUE(glDouble.calls.empty());
    EXPECT_EQ(glDouble.redisplayRequests, 0);

    // The left button during a right-button drag does not end it.
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    mouse(GLUT_LEFT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    mouse(GLUT_LEFT_BUTTON, GLUT_UP, kPressX, kPressY);
    motion(kPressX + 100, kPressY + 50);
    expectSixDecimals(scene.camera.forward, 738460, 479426, -474160);
}

TEST_F(movementKeys, movementKeysStepOneUnitAlongTheCameraAxes) {
    const struct {
        unsigned char key;
        Vec3 eye;
    } cases[] = {{'w', {0, 0, 99}},   {'s', {0, 0, 101}}, {'d', {1, 0, 100}},
                 {'a', {-1, 0, 100}}, {' ', {0, 1, 100}}, {'c', {0, -1, 100}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        startScene();
        keyboard(c.key, 0, 0);
        expectExactly(scene.camera.eye, c.eye.x, c.eye.y, c.eye.z);
        expectViewReloaded();
        EXPECT_EQ(glDouble.redisplayRequests, 1);
    }

    // Along the turned axes; a move during a drag survives the drag's next motion event.
    startScene();
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, kPressX, kPressY);
    motion(kPressX + 100, kPressY + 50);
    const Vec3 right = scene.camera.right;
    keyboard('d', 0, 0);
    motion(kPressX + 100, kPressY + 50);
    expectExactly(scene.camera.eye, right.x, 0.0f, static_cast<float>(100.0 + right.z));
    expectExactly(scene.camera.right, right.x, right.y, right.z);
}

TEST_F(movementKeys, wThenSReturnsAndOtherKeysOnlyReloadTheView) {
    dragBy(123, -45);
    const Vec3 eye = scene.camera.eye;
    keyboard('w', 0, 0);
    keyboard('s', 0, 0);
    expectNear(scene.camera.eye, eye, 2e-5);  // float rounding of sums near 100

    for (unsigned char key : {'W', 'S', 'A', 'D', 'C', 'x', '\0', '\xff'}) {
        SCOPED_TRACE(static_cast<int>(key));
        startScene();
        keyboard(key, 0, 0);
        expectExactly(scene.camera.eye, 0, 0, 100);
        ASSERT_EQ(glDouble.calls.size(), 4u);
        expectViewReloaded();
    }
}

}  // namespace
