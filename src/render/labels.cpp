#include "render/labels.h"

#include <GL/glut.h>

#include <cstdio>
#include <limits>

#include "app/scene.h"

namespace {

constexpr GLenum kFaces = GL_FRONT_AND_BACK;
constexpr double kLabelDepthMargin = 0.01;  // world units beyond the near plane
constexpr double kLabelDrop = 5.0;          // world units below the centre of the view

// Horizontal offsets h of the anchors, world units; positive is left of the centre.
constexpr double kLegendOffset = 5.0;  // ball 1; each further ball kLegendStep to the right
constexpr double kLegendStep = 0.2;
constexpr double kReadoutOffset = 3.0;
constexpr double kNetWidthOffset = 1.0;
constexpr double kVoxelSizeOffset = -0.5;
constexpr double kIsolevelOffset = -1.8;

const GLfloat kNetWidthColour[3] = {0.0f, 0.5f, 0.5f};
const GLfloat kVoxelSizeColour[3] = {0.5f, 0.5f, 0.0f};
const GLfloat kIsolevelColour[3] = {0.5f, 0.0f, 0.5f};
// The legend's diffuse is black, so under lighting it takes its colour from the ambient term
// alone, whatever the current normal.
const GLfloat kBlack[4] = {0.0f, 0.0f, 0.0f, 1.0f};

// The longest "%.1f" of a float: a sign, the 39 integer digits of FLT_MAX (3.4e38), the point
// and one decimal; infinities and NaN are shorter. The readout "(x: y: z | r)" holds four such
// numbers and nine characters around them, so no float centre or radius can be cut. The
// parameter labels are far shorter; snprintf bounds every label to the buffer all the same.
constexpr int kMaxFloatText = 1 + (std::numeric_limits<float>::max_exponent10 + 1) + 2;  // 42
constexpr int kTextBufferSize = 4 * kMaxFloatText + 9 + 1;                               // 178

// OpenGL fixes a label's colour when its raster position is set, so this comes first.
void setLabelColour(const GLfloat rgb[3]) {
    const GLfloat rgba[4] = {rgb[0], rgb[1], rgb[2], 1.0f};
    glColor3fv(rgb);
    glMaterialfv(kFaces, GL_AMBIENT_AND_DIFFUSE, rgba);
}

void moveRasterTo(double h) {
    const Vec3 anchor = labelAnchor(h);
    glRasterPos3f(anchor.x, anchor.y, anchor.z);
}

void drawLabel(const GLfloat rgb[3], double h, const char* text) {
    setLabelColour(rgb);
    moveRasterTo(h);
    drawText(text);
}

// " |k|" in red for a disabled, green for an enabled ball; full intensity when selected.
void drawLegendEntry(int k) {
    const GLfloat en = scene.balls[k - 1].enabled ? 1.0f : 0.0f;
    const GLfloat s = k == scene.selectedBall ? 1.0f : 0.0f;
    const GLfloat f = (s + 1.0f) * 0.5f;
    const GLfloat rgb[3] = {(1.0f - en) * f, en * f, 0.0f};
    setLabelColour(rgb);
    glMaterialfv(kFaces, GL_DIFFUSE, kBlack);
    moveRasterTo(kLegendOffset - kLegendStep * (k - 1));
    glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_10, ' ');
    glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_10, '|');
    glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_10, '0' + k);
    glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_10, '|');
}

}  // namespace

Vec3 labelAnchor(double h) {
    const Camera& camera = scene.camera;
    const double d = static_cast<double>(scene.nearPlane) + kLabelDepthMargin;
    const auto component = [&](float eye, float forward, float right, float up) {
        return static_cast<float>(static_cast<double>(eye) + d * forward - h * right -
                                  kLabelDrop * up);
    };
    return {component(camera.eye.x, camera.forward.x, camera.right.x, camera.up.x),
            component(camera.eye.y, camera.forward.y, camera.right.y, camera.up.y),
            component(camera.eye.z, camera.forward.z, camera.right.z, camera.up.z)};
}

void drawText(const char* text) {
    for (const char* c = text; *c != '\0'; ++c) {
        glutBitmapCharacter(GLUT_BITMAP_TIMES_ROMAN_10, static_cast<unsigned char>(*c));
    }
}

void drawLabels() {
    char text[kTextBufferSize];

    for (int k = 1; k <= kBallCount; ++k) {
        drawLegendEntry(k);
    }

    if (scene.selectedBall != 0) {
        const Ball& ball = scene.balls[scene.selectedBall - 1];
        const GLfloat en = ball.enabled ? 1.0f : 0.0f;
        const GLfloat rgb[3] = {1.0f - en, en, 0.0f};
        std::snprintf(text, sizeof text, "(%.1f: %.1f: %.1f | %.1f)", static_cast<double>(ball.x),
                      static_cast<double>(ball.y), static_cast<double>(ball.z),
                      static_cast<double>(ball.radius));
        drawLabel(rgb, kReadoutOffset, text);
    }

    std::snprintf(text, sizeof text, "VNetWidth=%.1f", kNetWidth);
    drawLabel(kNetWidthColour, kNetWidthOffset, text);
    std::snprintf(text, sizeof text, "VoxelSize=%.1f", scene.grid.voxelSize);
    drawLabel(kVoxelSizeColour, kVoxelSizeOffset, text);
    std::snprintf(text, sizeof text, "isolevel=%.2f", scene.isolevel);
    drawLabel(kIsolevelColour, kIsolevelOffset, text);
}
