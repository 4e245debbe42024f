#include "input/commands.h"

#include <GL/glut.h>

#include <cstdlib>

#include "app/scene.h"
#include "input/camera.h"
#include "input/keys.h"

namespace {

// Each bound is tested on the value before the step, so a value can pass it by one step.
constexpr double kIsolevelStep = 0.02;
constexpr double kIsolevelRaiseBelow = 9.0;  // raised only while strictly below
constexpr double kIsolevelLowerFrom = 0.1;   // lowered only while at least this
constexpr double kVoxelHalveFrom = 1.0;      // world units; halved only while at least this
constexpr double kVoxelFiner = 0.5;          // factor of "/"
constexpr double kVoxelCoarser = 2.0;        // factor of "*"
constexpr double kVoxelDoubleUpTo = 8.0;     // world units; doubled only while at most this
constexpr double kBallStep = 1.0;            // world units, centre and radius
constexpr double kRadiusGrowBelow = 100.0;   // grown only while strictly below
constexpr double kRadiusShrinkFrom = 1.0;    // shrunk only while at least this

// The field of the balls as they are now, computed again where they changed.
void reevaluateField() {
    updateField(scene.fieldSummary, scene.grid, scene.balls);
}

void rebuildGrid(double candidateSize) {
    useVoxelSize(candidateSize);
    glutPostRedisplay();
}

// value + amount, summed in 64 bits and stored as a float.
void step(float& value, double amount) {
    value = static_cast<float>(value + amount);
}

}  // namespace

// Makes the grid again for the candidate voxel size, which may equal the current one. When the
// storage for it cannot be had, the grid at hand stays, so the scene stays consistent and the
// program goes on.
void useVoxelSize(double candidateSize) {
    setVoxelSize(scene.grid, candidateSize);
    reevaluateField();
}

// GL_LIGHTING follows lightingOn; the light is set by initScene (src/app/scene.cpp), the
// materials by the frame (src/render/display.cpp).
void setLighting(bool on) {
    scene.lightingOn = on;
    if (scene.lightingOn) {
        glEnable(GL_LIGHTING);
    } else {
        glDisable(GL_LIGHTING);
    }
}

void keyboard(unsigned char key, int /*x*/, int /*y*/) {
    if (key == kKeyEscape) {
        std::exit(EXIT_SUCCESS);
    } else if (key == kKeyNoBall) {
        scene.selectedBall = 0;
        glutPostRedisplay();
    } else if (key >= kKeyFirstBall && key <= kKeyLastBall) {
        scene.selectedBall = key - kKeyNoBall;
        glutPostRedisplay();
    } else if (key == kKeyDelete) {
        if (scene.selectedBall != 0) {
            Ball& ball = scene.balls[scene.selectedBall - 1];
            ball.enabled = !ball.enabled;
            reevaluateField();
            glutPostRedisplay();
        }
    } else if (key == kKeyBackspace) {
        setLighting(!scene.lightingOn);
        glutPostRedisplay();
    } else if (key == kKeyRaiseIsolevel) {
        if (scene.isolevel < kIsolevelRaiseBelow) scene.isolevel += kIsolevelStep;
        glutPostRedisplay();
    } else if (key == kKeyLowerIsolevel) {
        if (scene.isolevel >= kIsolevelLowerFrom) scene.isolevel -= kIsolevelStep;
        glutPostRedisplay();
    } else if (key == kKeyFinerGrid) {
        const double size = scene.grid.voxelSize;
        rebuildGrid(size >= kVoxelHalveFrom ? size * kVoxelFiner : size);
    } else if (key == kKeyCoarserGrid) {
        const double size = scene.grid.voxelSize;
        rebuildGrid(size <= kVoxelDoubleUpTo ? size * kVoxelCoarser : size);
    }
    moveCamera(key);
}

void specialKey(int key, int /*x*/, int /*y*/) {
    if (scene.selectedBall == 0) return;
    Ball& ball = scene.balls[scene.selectedBall - 1];
    switch (key) {
        case GLUT_KEY_RIGHT:
            step(ball.x, kBallStep);
            break;
        case GLUT_KEY_LEFT:
            step(ball.x, -kBallStep);
            break;
        case GLUT_KEY_UP:
            step(ball.y, kBallStep);
            break;
        case GLUT_KEY_DOWN:
            step(ball.y, -kBallStep);
            break;
        case GLUT_KEY_PAGE_UP:
            step(ball.z, kBallStep);
            break;
        case GLUT_KEY_PAGE_DOWN:
            step(ball.z, -kBallStep);
            break;
        case GLUT_KEY_HOME:
            if (ball.radius < kRadiusGrowBelow) step(ball.radius, kBallStep);
            break;
        case GLUT_KEY_END:
            if (ball.radius >= kRadiusShrinkFrom) step(ball.radius, -kBallStep);
            break;
        default:
            break;
    }
    reevaluateField();
    glutPostRedisplay();
}
