#pragma once

#include <gtest/gtest.h>

#include "app/scene.h"
#include "gl_double.h"

// Puts back the start-up values that initScene leaves alone: the camera, the drag and the
// lighting switch.
inline void restoreStartValues() {
    const SceneState atStart;
    scene.camera = atStart.camera;
    scene.dragging = atStart.dragging;
    scene.lightingOn = atStart.lightingOn;
}

// Brings the scene back to its state at start-up, then forgets the calls that made it; the
// double's tracked state, such as the matrix mode and the lighting switch, stays as initScene
// left it.
inline void startScene() {
    restoreStartValues();
    resetGlDouble();
    initScene();
    glDouble.calls.clear();
    glDouble.redisplayRequests = 0;
}

// Every test starts from the scene at start-up and leaves the start-up values behind, so that
// tests of other files can run after it in any order.
struct SceneTest : ::testing::Test {
    void SetUp() override { startScene(); }
    void TearDown() override { restoreStartValues(); }
};
