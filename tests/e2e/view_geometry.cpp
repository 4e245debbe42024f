#include "view_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kHalfWidth = kNetWidth / 2;  // the cube spans -32 .. 32 on each axis
constexpr double kFieldMargin = 0.08;         // field units either side of the threshold
constexpr double kRayStep = 0.1;              // world units between field samples

double dot(Point3 a, Point3 b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

Point3 along(Point3 origin, Point3 direction, double t) {
    return {origin.x + t * direction.x, origin.y + t * direction.y, origin.z + t * direction.z};
}

// Clips t to the part of the ray inside the cube; false when the ray misses it.
bool clipToCube(Point3 origin, Point3 direction, double& t0, double& t1) {
    const double o[3] = {origin.x, origin.y, origin.z};
    const double d[3] = {direction.x, direction.y, direction.z};
    for (int axis = 0; axis < 3; ++axis) {
        if (std::fabs(d[axis]) < 1e-12) {
            if (std::fabs(o[axis]) > kHalfWidth) return false;
            continue;
        }
        double a = (-kHalfWidth - o[axis]) / d[axis];
        double b = (kHalfWidth - o[axis]) / d[axis];
        if (a > b) std::swap(a, b);
        t0 = std::max(t0, a);
        t1 = std::min(t1, b);
    }
    return t0 <= t1;
}

}  // namespace

ImagePoint projectEye(const View& view, Point3 eye) {
    const double depth = -eye.z;
    const double ndcX = eye.x / (depth * view.tanHalfFov);
    const double ndcY = eye.y / (depth * view.tanHalfFov);
    return {(ndcX + 1) * view.width / 2, view.height - (ndcY + 1) * view.height / 2};
}

bool project(const View& view, Point3 world, ImagePoint& image) {
    const Point3 d{world.x - view.eye.x, world.y - view.eye.y, world.z - view.eye.z};
    const Point3 eye{dot(d, view.right), dot(d, view.up), -dot(d, view.forward)};
    if (eye.z >= 0) return false;
    image = projectEye(view, eye);
    return true;
}

Point3 rayDirection(const View& view, ImagePoint image) {
    const double ndcX = 2 * image.x / view.width - 1;
    const double ndcY = 1 - 2 * image.y / view.height;
    const double sx = ndcX * view.tanHalfFov;
    const double sy = ndcY * view.tanHalfFov;
    Point3 d{view.forward.x + sx * view.right.x + sy * view.up.x,
             view.forward.y + sx * view.right.y + sy * view.up.y,
             view.forward.z + sx * view.right.z + sy * view.up.z};
    const double length = std::sqrt(dot(d, d));
    return {d.x / length, d.y / length, d.z / length};
}

double fieldAt(const Ball* balls, Point3 p) {
    double sum = 0;
    for (int i = 0; i < kBallCount; ++i) {
        if (balls[i].enabled) {
            sum += softObjectField(balls[i], static_cast<float>(p.x), static_cast<float>(p.y),
                                   static_cast<float>(p.z));
        }
    }
    return sum;
}

RayHit traceSurface(const View& view, const Ball* balls, double isolevel, ImagePoint image,
                    double maxDistance) {
    const Point3 direction = rayDirection(view, image);
    double t0 = 0, t1 = maxDistance;
    if (!clipToCube(view.eye, direction, t0, t1)) return RayHit::Nothing;
    double highest = 0;
    for (double t = t0; t <= t1; t += kRayStep) {
        highest = std::max(highest, fieldAt(balls, along(view.eye, direction, t)));
        if (highest > isolevel + kFieldMargin) return RayHit::Surface;
    }
    return highest < isolevel - kFieldMargin ? RayHit::Nothing : RayHit::Unsure;
}

double distance(Point3 a, Point3 b) {
    const Point3 d{a.x - b.x, a.y - b.y, a.z - b.z};
    return std::sqrt(dot(d, d));
}

double distanceToSegment(ImagePoint p, ImagePoint a, ImagePoint b) {
    const double ex = b.x - a.x, ey = b.y - a.y;
    const double lengthSquared = ex * ex + ey * ey;
    double t = lengthSquared > 0 ? ((p.x - a.x) * ex + (p.y - a.y) * ey) / lengthSquared : 0;
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(p.x - (a.x + t * ex), p.y - (a.y + t * ey));
}

void cubeEdges(Edge edges[kCubeEdges]) {
    const double h = kHalfWidth;
    int n = 0;
    for (double u : {-h, h}) {
        for (double v : {-h, h}) {
            edges[n++] = {{-h, u, v}, {h, u, v}};  // along x
            edges[n++] = {{u, -h, v}, {u, h, v}};  // along y
            edges[n++] = {{u, v, -h}, {u, v, h}};  // along z
        }
    }
}

bool nearCubeOutline(const View& view, ImagePoint p, double pixels) {
    Edge edges[kCubeEdges];
    cubeEdges(edges);
    for (const Edge& edge : edges) {
        ImagePoint a, b;
        if (project(view, edge.a, a) && project(view, edge.b, b) &&
            distanceToSegment(p, a, b) <= pixels) {
            return true;
        }
    }
    return false;
}

void initialBalls(Ball balls[kBallCount]) {
    for (int i = 0; i < kBallCount; ++i)
        balls[i] = {0, 0, 0, 10, false};
    balls[1] = {12, 12, 0, 20, true};
    balls[2] = {-10, -10, 0, 30, true};
}
