#include "gl_double.h"

#include <cstring>
#include <initializer_list>

GlDouble glDouble;

namespace {

void record(const char* name, std::initializer_list<double> args) {
    if (glDouble.recording) glDouble.calls.push_back({name, std::vector<double>(args)});
}

void recordArray(const char* name, std::initializer_list<double> head, const GLfloat* values,
                 int count) {
    if (!glDouble.recording) return;
    GlCall call{name, std::vector<double>(head)};
    for (int i = 0; i < count; ++i)
        call.args.push_back(values[i]);
    glDouble.calls.push_back(call);
}

int parameterCount(GLenum pname) {
    switch (pname) {
        case GL_SHININESS:
        case GL_SPOT_EXPONENT:
        case GL_SPOT_CUTOFF:
        case GL_CONSTANT_ATTENUATION:
        case GL_LINEAR_ATTENUATION:
        case GL_QUADRATIC_ATTENUATION:
            return 1;
        case GL_SPOT_DIRECTION:
            return 3;
        default:
            return 4;
    }
}

}  // namespace

void resetGlDouble() {
    glDouble = GlDouble();
}

bool isEnabled(GLenum capability) {
    auto it = glDouble.capabilities.find(capability);
    return it != glDouble.capabilities.end() && it->second;
}

std::vector<GlCall> callsNamed(const char* name) {
    std::vector<GlCall> result;
    for (const GlCall& call : glDouble.calls) {
        if (std::strcmp(call.name, name) == 0) result.push_back(call);
    }
    return result;
}

int countCalls(const char* name) {
    return static_cast<int>(callsNamed(name).size());
}

int findCall(const char* name, int from) {
    for (int i = from; i < static_cast<int>(glDouble.calls.size()); ++i) {
        if (std::strcmp(glDouble.calls[i].name, name) == 0) return i;
    }
    return -1;
}

std::string bitmapText(int from, int to) {
    std::string text;
    for (int i = from; i < to; ++i) {
        if (std::strcmp(glDouble.calls[i].name, "glutBitmapCharacter") == 0) {
            text += static_cast<char>(glDouble.calls[i].args[0]);
        }
    }
    return text;
}

// OpenGL.
void glBegin(GLenum mode) {
    ++glDouble.beginDepth;
    record("glBegin", {double(mode)});
}
void glEnd() {
    --glDouble.beginDepth;
    record("glEnd", {});
}
void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    record("glVertex3f", {x, y, z});
}
void glNormal3fv(const GLfloat* v) {
    recordArray("glNormal3fv", {}, v, 3);
}
void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    record("glColor3f", {r, g, b});
}
void glColor3fv(const GLfloat* v) {
    recordArray("glColor3fv", {}, v, 3);
}
void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    recordArray("glMaterialfv", {double(face), double(pname)}, params, parameterCount(pname));
}
void glMateriali(GLenum face, GLenum pname, GLint param) {
    record("glMateriali", {double(face), double(pname), double(param)});
}
void glPolygonMode(GLenum face, GLenum mode) {
    record("glPolygonMode", {double(face), double(mode)});
}
void glClear(GLbitfield mask) {
    record("glClear", {double(mask)});
}
void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    record("glClearColor", {r, g, b, a});
}
void glEnable(GLenum cap) {
    glDouble.capabilities[cap] = true;
    record("glEnable", {double(cap)});
}
void glDisable(GLenum cap) {
    glDouble.capabilities[cap] = false;
    record("glDisable", {double(cap)});
}
void glLightfv(GLenum light, GLenum pname, const GLfloat* params) {
    recordArray("glLightfv", {double(light), double(pname)}, params, parameterCount(pname));
}
void glLightModeli(GLenum pname, GLint param) {
    record("glLightModeli", {double(pname), double(param)});
}
void glMatrixMode(GLenum mode) {
    glDouble.matrixMode = mode;
    record("glMatrixMode", {double(mode)});
}
void glLoadIdentity() {
    record("glLoadIdentity", {});
}
void glPushMatrix() {
    ++glDouble.matrixDepth;
    record("glPushMatrix", {});
}
void glPopMatrix() {
    --glDouble.matrixDepth;
    record("glPopMatrix", {});
}
void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    record("glTranslatef", {x, y, z});
}
void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    record("glRasterPos3f", {x, y, z});
}
void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    record("glViewport", {double(x), double(y), double(width), double(height)});
}
void glFlush() {
    record("glFlush", {});
}
void glFinish() {
    record("glFinish", {});
}

// GLU.
void gluPerspective(GLdouble fovy, GLdouble aspect, GLdouble zNear, GLdouble zFar) {
    record("gluPerspective", {fovy, aspect, zNear, zFar});
}
void gluLookAt(GLdouble eyeX, GLdouble eyeY, GLdouble eyeZ, GLdouble centerX, GLdouble centerY,
               GLdouble centerZ, GLdouble upX, GLdouble upY, GLdouble upZ) {
    record("gluLookAt", {eyeX, eyeY, eyeZ, centerX, centerY, centerZ, upX, upY, upZ});
}

// GLUT.
void* glutBitmapTimesRoman10 = nullptr;

void glutInit(int* /*argc*/, char** /*argv*/) {
    record("glutInit", {});
}
void glutInitDisplayMode(unsigned int mode) {
    record("glutInitDisplayMode", {double(mode)});
}
void glutInitWindowPosition(int x, int y) {
    record("glutInitWindowPosition", {double(x), double(y)});
}
void glutInitWindowSize(int width, int height) {
    record("glutInitWindowSize", {double(width), double(height)});
}
int glutCreateWindow(const char* /*title*/) {
    record("glutCreateWindow", {});
    return 1;
}
void glutDisplayFunc(void (*callback)()) {
    glDouble.displayFunc = callback;
    record("glutDisplayFunc", {});
}
void glutReshapeFunc(void (*callback)(int, int)) {
    glDouble.reshapeFunc = callback;
    record("glutReshapeFunc", {});
}
void glutKeyboardFunc(void (*callback)(unsigned char, int, int)) {
    glDouble.keyboardFunc = callback;
    record("glutKeyboardFunc", {});
}
void glutSpecialFunc(void (*callback)(int, int, int)) {
    glDouble.specialFunc = callback;
    record("glutSpecialFunc", {});
}
void glutMouseFunc(void (*callback)(int, int, int, int)) {
    glDouble.mouseFunc = callback;
    record("glutMouseFunc", {});
}
void glutMotionFunc(void (*callback)(int, int)) {
    glDouble.motionFunc = callback;
    record("glutMotionFunc", {});
}
void glutCloseFunc(void (*callback)()) {
    glDouble.closeFunc = callback;
    record("glutCloseFunc", {});
}
void glutWindowStatusFunc(void (*)(int)) {
    record("glutWindowStatusFunc", {});
}
void glutMainLoop() {
    record("glutMainLoop", {});
}
void glutPostRedisplay() {
    ++glDouble.redisplayRequests;
    record("glutPostRedisplay", {});
}
void glutWireSphere(double radius, GLint slices, GLint stacks) {
    record("glutWireSphere", {radius, double(slices), double(stacks)});
}
void glutBitmapCharacter(void* font, int character) {
    // The font is checked by identity: only Times Roman 10 is ever used.
    record("glutBitmapCharacter",
           {double(character), font == GLUT_BITMAP_TIMES_ROMAN_10 ? 1.0 : 0.0});
}
