#pragma once

#include "app/scene.h"
#include "gl_double.h"

// Puts the scene back to its start values (camera and lighting included, which initScene does
// not set), runs initScene and forgets the calls it made.
inline void startScene() {
    const SceneState start;
    scene.camera = start.camera;
    scene.lightingOn = start.lightingOn;
    initScene();
    resetGlDouble();
}
