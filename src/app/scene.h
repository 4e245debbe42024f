#pragma once

#include "field/field.h"
#include "field/grid.h"
#include "field/surface.h"

// The viewpoint: a position and a right-handed orthonormal frame, right = forward x up.
struct Camera {
    Vec3 eye;      // world units
    Vec3 forward;  // unit viewing direction
    Vec3 up;       // unit upward direction of the view; turns with the camera
    Vec3 right;    // unit rightward direction of the view
};

// The camera's orientation as saved at a right-button press.
struct CameraFrame {
    Vec3 forward, up, right;
};

// Every process-wide variable of the viewer. There is exactly one, `scene`; GLUT callbacks
// carry no context, so they all reach it directly.
struct SceneState {
    // Camera and navigation.
    Camera camera{{0, 0, 100}, {0, 0, -1}, {0, 1, 0}, {1, 0, 0}};
    bool dragging = false;  // a right-button drag is in progress
    int dragStartX = 0;     // pointer at the press, window pixels, y down
    int dragStartY = 0;
    CameraFrame dragStartCamera{};  // orientation at the press; meaningful while dragging

    // Window and projection.
    int windowWidth = 600;  // pixels, the size the window is created with
    int windowHeight = 600;
    float nearPlane = 5.0f;  // world units; also the labels' base distance
    float farPlane = 200.0f;
    bool lightingOn = true;  // lit filled surface, or unlit wireframe; mirrors GL_LIGHTING

    // Scene and parameters (set by initScene).
    Ball balls[kBallCount]{};  // ball number k is element k-1
    int selectedBall = 0;      // 0 for none, else 1 .. kBallCount
    double isolevel = 0.0;     // threshold of the drawn surface
    Grid grid;                 // voxel size 0.5, 1, 2, 4, 8 or 16 world units

    // Derived from the grid, kept between events; each knows by the grid's version when it is
    // stale.
    FieldSummary fieldSummary;  // value ranges of blocks of cells, and the balls they are of
    KeptSurface surface;        // the surface the last frame drew
};

extern SceneState scene;

// The balls, the selection and the threshold initScene starts with; the grid and its field are
// left to the caller.
void setInitialBalls();

// Sets the initial balls and parameters, builds and evaluates the grid, and sets the OpenGL
// state that stays fixed for the run. Needs a current OpenGL context; runs once.
void initScene();
