#include "render/display.h"

#include <GL/glut.h>

#include <cstddef>

#include "app/scene.h"
#include "render/labels.h"

namespace {

constexpr GLenum kFaces = GL_FRONT_AND_BACK;  // every material is the same front and back
constexpr GLfloat kHalfWidth = static_cast<GLfloat>(kNetWidth / 2);  // world units
constexpr int kOutlineVertexCount = 10;
constexpr GLint kSurfaceShininess = 5;
constexpr GLint kMarkerSlices = 20;
constexpr GLint kMarkerStacks = 20;

// Dark cyan outline of the sampled cube.
const GLfloat kOutlineColour[4] = {0.0f, 0.1f, 0.1f, 1.0f};
// The lit surface: a dark blue body with a brighter blue highlight.
const GLfloat kSurfaceAmbient[4] = {0.0f, 0.0f, 0.2f, 1.0f};
const GLfloat kSurfaceDiffuse[4] = {0.0f, 0.0f, 0.2f, 1.0f};
const GLfloat kSurfaceSpecular[4] = {0.0f, 0.0f, 0.5f, 1.0f};
// After the surface the specular goes back to black, which the labels rely on.
const GLfloat kNoSpecular[4] = {0.0f, 0.0f, 0.0f, 1.0f};

// One quad strip around the x axis, in units of kHalfWidth: its four quads are the faces
// z = -1, y = 1, z = 1 and y = -1, and drawn as lines their borders give all twelve edges.
const GLfloat kOutlineStrip[kOutlineVertexCount][3] = {
    {-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {1, 1, -1},   {-1, 1, 1},
    {1, 1, 1},    {-1, -1, 1}, {1, -1, 1},  {-1, -1, -1}, {1, -1, -1},
};

void drawOutline() {
    glColor3fv(kOutlineColour);
    glMaterialfv(kFaces, GL_AMBIENT_AND_DIFFUSE, kOutlineColour);
    glPolygonMode(kFaces, GL_LINE);
    glBegin(GL_QUAD_STRIP);
    for (const GLfloat* v : kOutlineStrip) {
        glVertex3f(v[0] * kHalfWidth, v[1] * kHalfWidth, v[2] * kHalfWidth);
    }
    glEnd();
}

// Lit: the blue material, filled. Unlit: a blue wireframe in the current colour. The frame sets
// only the materials; the light is set by initScene (src/app/scene.cpp) and GL_LIGHTING there and
// by Backspace (src/input/commands.cpp).
void setSurfaceMaterial() {
    if (scene.lightingOn) {
        glMaterialfv(kFaces, GL_AMBIENT, kSurfaceAmbient);
        glMaterialfv(kFaces, GL_DIFFUSE, kSurfaceDiffuse);
        glMaterialfv(kFaces, GL_SPECULAR, kSurfaceSpecular);
        glMateriali(kFaces, GL_SHININESS, kSurfaceShininess);
        glPolygonMode(kFaces, GL_FILL);
    } else {
        glColor3f(0.0f, 0.0f, 1.0f);
        glPolygonMode(kFaces, GL_LINE);
    }
}

// One cut cell: its own begin/end pair, one normal per triangle, then its three vertices.
void drawCell(const Triangle* triangles, int count) {
    glBegin(GL_TRIANGLES);
    Vec3 normal;
    for (int t = 0; t < count; ++t) {
        triangleNormal(triangles[t], normal);
        const GLfloat components[3] = {normal.x, normal.y, normal.z};
        glNormal3fv(components);
        for (const Vec3& v : triangles[t].vertices) {
            glVertex3f(v.x, v.y, v.z);
        }
    }
    glEnd();
}

// Draws cut cells of the surface (a slab, or a batch of one), cell by cell.
void drawCells(void* /*context*/, const SurfaceCells& cells) {
    std::size_t t = 0;
    for (std::size_t c = 0; c < cells.cellCount; ++c) {
        drawCell(cells.triangles + t, cells.cellTriangles[c]);
        t += cells.cellTriangles[c];
    }
}

// Wire sphere around the selected ball: green while it is enabled, red while it is not.
// Drawn on the current matrix stack, which the camera has left at the modelview.
void drawMarker() {
    if (scene.selectedBall == 0) return;
    const Ball& ball = scene.balls[scene.selectedBall - 1];
    const GLfloat en = ball.enabled ? 1.0f : 0.0f;
    const GLfloat colour[4] = {1.0f - en, en, 0.0f, 1.0f};
    glColor3fv(colour);
    glMaterialfv(kFaces, GL_AMBIENT_AND_DIFFUSE, colour);
    glPushMatrix();
    glTranslatef(ball.x, ball.y, ball.z);
    glutWireSphere(ball.radius, kMarkerSlices, kMarkerStacks);
    glPopMatrix();
}

}  // namespace

void display() {
    glClear(GL_COLOR_BUFFER_BIT);
    glClear(GL_DEPTH_BUFFER_BIT);
    drawOutline();
    setSurfaceMaterial();
    // The cut cells in storage order, from the kept surface or extracted afresh as they are drawn.
    drawSurface(scene.surface, scene.grid, scene.isolevel, scene.fieldSummary, drawCells, nullptr);
    glMaterialfv(kFaces, GL_SPECULAR, kNoSpecular);
    glMateriali(kFaces, GL_SHININESS, 0);
    drawMarker();
    drawLabels();
    glFlush();  // single-buffered: nothing to swap
}
