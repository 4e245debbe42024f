#pragma once

// Where things of the scene must appear in the window, computed from the camera, the
// 90-degree projection and the soft-object field itself, independently of the program's
// drawing code.

#include "field/field.h"

struct Point3 {
    double x, y, z;
};

// A camera with a right-handed orthonormal frame, and the window it draws into.
struct View {
    Point3 eye{0, 0, 100};
    Point3 forward{0, 0, -1};
    Point3 up{0, 1, 0};
    Point3 right{1, 0, 0};
    int width = 600;  // pixels
    int height = 600;
    double tanHalfFov = 1.0;  // vertical field of view of 90 degrees, aspect 1
};

struct ImagePoint {
    double x, y;  // image pixels, y downwards
};

// Projects a world point; false when it lies behind the eye.
bool project(const View& view, Point3 world, ImagePoint& image);

// Image position of a point given in eye coordinates (x right, y up, z towards the viewer).
ImagePoint projectEye(const View& view, Point3 eye);

// Unit direction of the ray through an image position.
Point3 rayDirection(const View& view, ImagePoint image);

// Sum of the enabled balls' fields at a point.
double fieldAt(const Ball* balls, Point3 p);

// What the ray through an image position meets inside the sampled cube, before `maxDistance`
// from the eye: the surface at `isolevel` (the field along it rises clearly above the
// threshold), nothing (it stays clearly below), or too close to tell.
enum class RayHit { Surface, Nothing, Unsure };
RayHit traceSurface(const View& view, const Ball* balls, double isolevel, ImagePoint image,
                    double maxDistance);

double distance(Point3 a, Point3 b);

// Distance in pixels from p to the segment a-b.
double distanceToSegment(ImagePoint p, ImagePoint a, ImagePoint b);

// The twelve edges of the sampled cube, corners at +-32.
struct Edge {
    Point3 a, b;
};
constexpr int kCubeEdges = 12;
void cubeEdges(Edge edges[kCubeEdges]);

// True when the image position lies within `pixels` of the projection of a cube edge.
bool nearCubeOutline(const View& view, ImagePoint p, double pixels);

// The balls as the program starts: 2 and 3 enabled.
void initialBalls(Ball balls[kBallCount]);

constexpr double kInitialIsolevel = 0.4;
