#include "app/scene.h"

#include <GL/glut.h>

#include "input/camera.h"

SceneState scene;

namespace {

constexpr double kInitialIsolevel = 0.4;
constexpr double kInitialVoxelSize = 2.0;  // world units, gives N = 32
constexpr float kDefaultRadius = 10.0f;    // world units
constexpr double kFieldOfView = 90.0;      // degrees, vertical
constexpr double kAspect = 1.0;            // kept on resize: the picture is scaled

}  // namespace

void setInitialBalls() {
    scene.selectedBall = 0;
    for (Ball& ball : scene.balls)
        ball = {0.0f, 0.0f, 0.0f, kDefaultRadius, false};
    scene.balls[1] = {12.0f, 12.0f, 0.0f, 20.0f, true};
    scene.balls[2] = {-10.0f, -10.0f, 0.0f, 30.0f, true};
    scene.isolevel = kInitialIsolevel;
}

void initScene() {
    setInitialBalls();
    setVoxelSize(scene.grid, kInitialVoxelSize);
    updateField(scene.fieldSummary, scene.grid, scene.balls);

    glClearColor(0.0f, 0.0f, 0.0f, 0.0f);
    glEnable(GL_DEPTH_TEST);

    // The lighting's state is set in three places: the light and the light model here, once;
    // GL_LIGHTING here and by Backspace (keyboard, src/input/commands.cpp); the materials by every
    // frame (src/render/display.cpp).
    // A white directional light given in eye coordinates: it shines along the view and turns
    // with the camera.
    const GLfloat lightPosition[4] = {0.0f, 0.0f, 100.0f, 0.0f};
    const GLfloat white[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    glLightfv(GL_LIGHT1, GL_POSITION, lightPosition);
    glLightfv(GL_LIGHT1, GL_AMBIENT, white);
    glLightfv(GL_LIGHT1, GL_DIFFUSE, white);
    glLightfv(GL_LIGHT1, GL_SPECULAR, white);
    glEnable(GL_LIGHT1);

    glLightModeli(GL_LIGHT_MODEL_TWO_SIDE, 1);
    glLightModeli(GL_LIGHT_MODEL_LOCAL_VIEWER, 1);
    glEnable(GL_NORMALIZE);  // the polygoniser's normals are not unit length
    if (scene.lightingOn) glEnable(GL_LIGHTING);

    loadViewMatrix(scene.camera);

    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    gluPerspective(kFieldOfView, kAspect, scene.nearPlane, scene.farPlane);
}
