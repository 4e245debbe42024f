// The two GLU calls the program makes, computed as SGI's GLU (Mesa's libGLU) computes them.

#include <GL/glu.h>

#include <cmath>

namespace {

void normalise(float v[3]) {
    const float r = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
    if (r == 0.0f) return;
    v[0] /= r;
    v[1] /= r;
    v[2] /= r;
}

void cross(const float a[3], const float b[3], float out[3]) {
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

}  // namespace

extern "C" {

void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    const double radians = fovy / 2 * M_PI / 180;
    const double deltaZ = zFar - zNear;
    const double sine = std::sin(radians);
    if (deltaZ == 0 || sine == 0 || aspect == 0) return;
    const double cotangent = std::cos(radians) / sine;
    GLdouble m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    m[0] = cotangent / aspect;
    m[5] = cotangent;
    m[10] = -(zFar + zNear) / deltaZ;
    m[11] = -1;
    m[14] = -2 * zNear * zFar / deltaZ;
    m[15] = 0;
    glMultMatrixd(m);
}

void gluLookAt(GLdouble eyex, GLdouble eyey, GLdouble eyez, GLdouble centerx, GLdouble centery,
               GLdouble centerz, GLdouble upx, GLdouble upy, GLdouble upz) {
    float forward[3] = {static_cast<float>(centerx - eyex), static_cast<float>(centery - eyey),
                        static_cast<float>(centerz - eyez)};
    float up[3] = {static_cast<float>(upx), static_cast<float>(upy), static_cast<float>(upz)};
    normalise(forward);
    float side[3];
    cross(forward, up, side);  // side = forward x up
    normalise(side);
    cross(side, forward, up);  // up = side x forward
    GLfloat m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (int i = 0; i < 3; ++i) {
        m[i * 4 + 0] = side[i];
        m[i * 4 + 1] = up[i];
        m[i * 4 + 2] = -forward[i];
    }
    glMultMatrixf(m);
    glTranslated(-eyex, -eyey, -eyez);
}

}  // extern "C"
