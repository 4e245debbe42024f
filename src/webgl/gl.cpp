// The OpenGL 1.1 calls the program makes, over WebGL 1: matrix stacks, the current colour,
// normal and materials, one light model with its lights, primitives between glBegin and glEnd
// (filled or as lines), raster positions and bitmaps, clearing and reading the picture back.
// Vertices go into one batch across glBegin/glEnd pairs and are drawn when a change of state or
// of the kind of primitive asks for it, or at the end of the frame; transformation and lighting,
// with the equations of OpenGL 1.1, are done by the vertex shader.

#include <GL/gl.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "webgl/calls.h"
#include "webgl/webgl.h"

namespace {

constexpr int kModelviewDepth = 32;  // the stack depths OpenGL asks at least
constexpr int kProjectionDepth = 2;
constexpr int kMaxLights = 8;     // GL_LIGHT0 .. GL_LIGHT7
constexpr int kShaderLights = 2;  // lights the shader takes at once
constexpr int kBatchVertices = 1 << 16;
constexpr int kFloatsPerVertex = 7;
constexpr int kBatchIndices = 1 << 18;  // the ends of the edges drawn by index in a batch
constexpr int kCornerSlots = 1 << 17;   // twice the vertices a batch holds
constexpr int kEdgeSlots = 1 << 18;     // twice the edges a batch holds
constexpr int kFront = 0;
constexpr int kBack = 1;
// The geometry shader's variants: lit (1), two sides (2), local viewer (4), normalisation (8),
// and the number of lights times 16; unlit is variant 0 alone.
constexpr int kVariants = 16 * (kShaderLights + 1);

// Column-major 4 x 4, as OpenGL keeps it.
struct Matrix {
    GLfloat m[16];
};

const Matrix kIdentity = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};

struct Material {
    GLfloat ambient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    GLfloat diffuse[4] = {0.8f, 0.8f, 0.8f, 1.0f};
    GLfloat specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLfloat emission[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLfloat shininess = 0.0f;
};

struct Light {
    bool enabled = false;
    GLfloat ambient[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLfloat diffuse[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLfloat specular[4] = {0.0f, 0.0f, 0.0f, 1.0f};
    GLfloat position[4] = {0.0f, 0.0f, 1.0f, 0.0f};  // eye coordinates
};

// A vertex as the primitive being assembled keeps it.
struct Vertex {
    GLfloat position[3];
    GLfloat normal[3];
};

// A slot in the tables of the corners and of the edges a batch of edges has: a corner's index in
// the batch, or an edge's two corners' indices, the lesser in the high half.
struct Slot {
    std::uint32_t batch;  // the batch it belongs to; a slot of an earlier one is free
    std::uint32_t value;
};

// What the batch holds: filled triangles, lines, unlit polygons' edges (each drawn once, by the
// indices of its ends), or bitmap pixels as points.
enum class Kind { kNone, kTriangles, kLines, kEdges, kPoints };

struct Program {
    GLuint id = 0;
    GLint modelview, projection, normalMatrix, colour, lightPosition, sceneColour, ambient, diffuse,
        specular, shininess, viewport;
};

struct State {
    Matrix modelview[kModelviewDepth];
    Matrix projection[kProjectionDepth];
    int modelviewTop = 0;
    int projectionTop = 0;
    GLenum matrixMode = GL_MODELVIEW;

    GLfloat colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    GLfloat normal[3] = {0.0f, 0.0f, 1.0f};
    Material material[2];
    Light light[kMaxLights];
    GLfloat modelAmbient[4] = {0.2f, 0.2f, 0.2f, 1.0f};
    bool localViewer = false;
    bool twoSide = false;
    bool lighting = false;
    bool normalise = false;
    GLenum polygonMode[2] = {GL_FILL, GL_FILL};
    GLint viewport[4] = {0, 0, 0, 0};
    GLint unpackAlignment = 4;
    GLint packAlignment = 4;

    // Raster position: window coordinates, depth, colour, and whether it is valid.
    GLfloat raster[3] = {0.0f, 0.0f, 0.0f};
    GLfloat rasterColour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    bool rasterValid = true;

    // The primitive between glBegin and glEnd.
    GLenum mode = 0;
    bool inside = false;
    int count = 0;            // vertices given since glBegin
    Vertex first;             // vertex 0, which closes a line loop
    Vertex recent[3];         // the last three vertices, the latest first
    bool direct = false;      // filled triangles: vertices written straight into the batch
    GLfloat* next = nullptr;  // where the next of them goes
    bool sidesHere = false;   // each polygon's side decided here (see sidesDecidedHere)
    Matrix clip;              // projection times modelview, for the polygons' sides

    // The batch.
    Kind kind = Kind::kNone;
    int batched = 0;
    GLfloat* batch = nullptr;
    GLuint buffer = 0;
    std::uint32_t batchNumber = 1;  // counts the batches drawn, for the tables of slots
    int indexed = 0;                // ends of edges, for a batch of them
    GLushort* indices = nullptr;
    GLuint indexBuffer = 0;
    Slot* corners = nullptr;
    Slot* edges = nullptr;
    Program geometry[kVariants];  // linked when first drawn with
    bool failed[kVariants] = {};
    Program points;
};

State gl;

Matrix& top() {
    return gl.matrixMode == GL_PROJECTION ? gl.projection[gl.projectionTop]
                                          : gl.modelview[gl.modelviewTop];
}

Matrix& modelview() {
    return gl.modelview[gl.modelviewTop];
}

Matrix& projection() {
    return gl.projection[gl.projectionTop];
}

// a * b, summed in the order Mesa sums it.
Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix p;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            p.m[j * 4 + i] = a.m[i] * b.m[j * 4] + a.m[4 + i] * b.m[j * 4 + 1] +
                             a.m[8 + i] * b.m[j * 4 + 2] + a.m[12 + i] * b.m[j * 4 + 3];
        }
    }
    return p;
}

void transform(const Matrix& a, const GLfloat v[4], GLfloat out[4]) {
    for (int i = 0; i < 4; ++i)
        out[i] = a.m[i] * v[0] + a.m[4 + i] * v[1] + a.m[8 + i] * v[2] + a.m[12 + i] * v[3];
}

// The inverse transpose of the upper 3 x 3 of the modelview, which carries normals to eye
// coordinates, column-major.
void normalMatrix(const Matrix& a, GLfloat n[9]) {
    const GLfloat* m = a.m;
    const GLfloat c00 = m[5] * m[10] - m[9] * m[6];
    const GLfloat c01 = m[9] * m[2] - m[1] * m[10];
    const GLfloat c02 = m[1] * m[6] - m[5] * m[2];
    const GLfloat det = m[0] * c00 + m[4] * c01 + m[8] * c02;
    const GLfloat k = det != 0.0f ? 1.0f / det : 0.0f;
    // Inverse rows are the cofactor columns; its transpose is the cofactor matrix over det.
    n[0] = c00 * k;
    n[3] = c01 * k;
    n[6] = c02 * k;
    n[1] = (m[8] * m[6] - m[4] * m[10]) * k;
    n[4] = (m[0] * m[10] - m[8] * m[2]) * k;
    n[7] = (m[4] * m[2] - m[0] * m[6]) * k;
    n[2] = (m[4] * m[9] - m[8] * m[5]) * k;
    n[5] = (m[8] * m[1] - m[0] * m[9]) * k;
    n[8] = (m[0] * m[5] - m[4] * m[1]) * k;
}

// The lighting equation of OpenGL 1.1 for one side, as the vertex shader has it: emission and
// ambient, then each light's ambient, diffuse N.L and, where N.L > 0, specular (N.H)^s. The
// shader is compiled for each combination of the state that shapes it (lighting, the number of
// lights, two sides, local viewer, normalisation), so that no vertex pays for a branch the state
// has already decided; unlit primitives take their colour straight from a uniform.
const char kVertexShader[] = R"(
precision highp float;
attribute vec3 position;
uniform mat4 modelview;
uniform mat4 projection;
#if LIGHTING
attribute vec3 normal;
uniform mat3 normalMatrix;
uniform vec4 lightPosition[2];
uniform vec4 sceneColour[2];
uniform vec4 ambient[4];
uniform vec4 diffuse[4];
uniform vec4 specular[4];
uniform float shininess[2];
varying vec4 frontColour;
#if TWO_SIDE
attribute float facing;
varying vec4 backColour;
varying float side;
#endif

vec4 shade(int s, vec3 n, vec3 p, vec3 v) {
    vec4 c = sceneColour[s];
    for (int i = 0; i < LIGHTS; ++i) {
        vec4 lp = lightPosition[i];
        vec3 l = normalize(lp.w == 0.0 ? lp.xyz : lp.xyz - p);
        float nl = dot(n, l);
        c += ambient[s * 2 + i];
        if (nl > 0.0) {
            c += nl * diffuse[s * 2 + i];
            float nh = max(dot(n, normalize(l + v)), 0.0);
            float f = shininess[s] == 0.0 ? 1.0 : pow(nh, shininess[s]);
            c += f * specular[s * 2 + i];
        }
    }
    c = clamp(c, 0.0, 1.0);
    c.a = clamp(diffuse[s * 2].a, 0.0, 1.0);
    return c;
}
#endif

void main() {
    vec4 eye = modelview * vec4(position, 1.0);
    gl_Position = projection * eye;
#if LIGHTING
    vec3 n = normalMatrix * normal;
#if NORMALISE
    float size = length(n);
    if (size > 0.0) n /= size;
#endif
    vec3 p = eye.xyz / eye.w;
#if LOCAL_VIEWER
    vec3 v = normalize(-p);
#else
    vec3 v = vec3(0.0, 0.0, 1.0);
#endif
    frontColour = shade(0, n, p, v);
#if TWO_SIDE
    side = facing;
    backColour = shade(1, -n, p, v);
#endif
#endif
}
)";

// Two-sided: a side of +1 or -1 was decided by the layer (a polygon drawn as lines); 0 leaves it
// to the rasteriser (a filled polygon).
const char kFragmentShader[] = R"(
precision mediump float;
#if LIGHTING
varying vec4 frontColour;
#if TWO_SIDE
varying vec4 backColour;
varying float side;
#endif
#else
uniform vec4 colour;
#endif
void main() {
#if !LIGHTING
    gl_FragColor = colour;
#elif TWO_SIDE
    bool front = side > 0.5 || (side > -0.5 && gl_FrontFacing);
    gl_FragColor = front ? frontColour : backColour;
#else
    gl_FragColor = frontColour;
#endif
}
)";

// Bitmap pixels: window coordinates and depth, in the raster position's colour.
const char kPointShader[] = R"(
precision highp float;
attribute vec3 position;
attribute vec4 pointColour;
uniform vec4 viewport;
varying vec4 frontColour;
void main() {
    gl_Position = vec4((position.x - viewport.x) / viewport.z * 2.0 - 1.0,
                       (position.y - viewport.y) / viewport.w * 2.0 - 1.0,
                       position.z * 2.0 - 1.0, 1.0);
    gl_PointSize = 1.0;
    frontColour = pointColour;
}
)";

const char kPointFragmentShader[] = R"(
precision mediump float;
varying vec4 frontColour;
void main() {
    gl_FragColor = frontColour;
}
)";

GLuint compile(GLenum type, const char* defines, const char* source) {
    const GLuint shader = emscripten_glCreateShader(type);
    const char* sources[2] = {defines, source};
    emscripten_glShaderSource(shader, 2, sources, nullptr);
    emscripten_glCompileShader(shader);
    GLint done = 0;
    emscripten_glGetShaderiv(shader, GL_COMPILE_STATUS, &done);
    return done ? shader : 0;
}

bool link(Program& program, const char* defines, const char* vertex, const char* fragment,
          bool lit) {
    const GLuint v = compile(GL_VERTEX_SHADER, defines, vertex);
    const GLuint f = compile(GL_FRAGMENT_SHADER, defines, fragment);
    if (v == 0 || f == 0) return false;
    program.id = emscripten_glCreateProgram();
    emscripten_glAttachShader(program.id, v);
    emscripten_glAttachShader(program.id, f);
    emscripten_glBindAttribLocation(program.id, 0, "position");
    emscripten_glBindAttribLocation(program.id, 1, lit ? "normal" : "pointColour");
    if (lit) emscripten_glBindAttribLocation(program.id, 2, "facing");
    emscripten_glLinkProgram(program.id);
    GLint done = 0;
    emscripten_glGetProgramiv(program.id, GL_LINK_STATUS, &done);
    if (!done) return false;
    const auto at = [&](const char* name) {
        return emscripten_glGetUniformLocation(program.id, name);
    };
    program.modelview = at("modelview");
    program.projection = at("projection");
    program.normalMatrix = at("normalMatrix");
    program.colour = at("colour");
    program.lightPosition = at("lightPosition");
    program.sceneColour = at("sceneColour");
    program.ambient = at("ambient");
    program.diffuse = at("diffuse");
    program.specular = at("specular");
    program.shininess = at("shininess");
    program.viewport = at("viewport");
    return true;
}

// Two-sided lighting with the same material on both sides lights a polygon's back as its front
// with the normal reversed. Then the layer decides each polygon's side and reverses the normals of
// those facing away, and the shader lights one side only: half the lighting and half the colours
// to interpolate, for the same colours.
bool sidesDecidedHere() {
    return gl.lighting && gl.twoSide &&
           std::memcmp(&gl.material[kFront], &gl.material[kBack], sizeof(Material)) == 0;
}

// The variant of the geometry shader that the state asks for.
int variant() {
    if (!gl.lighting) return 0;
    int lights = 0;
    for (const Light& light : gl.light)
        lights += light.enabled;
    if (lights > kShaderLights) lights = kShaderLights;
    const bool twoSides = gl.twoSide && !sidesDecidedHere();
    return 1 | twoSides << 1 | gl.localViewer << 2 | gl.normalise << 3 | lights << 4;
}

// The geometry program of variant `v`, linked the first time it is asked for; null when WebGL
// cannot link it.
const Program* geometry(int v) {
    Program& p = gl.geometry[v];
    if (p.id == 0 && !gl.failed[v]) {
        char defines[160];
        std::snprintf(defines, sizeof defines,
                      "#define LIGHTING %d\n#define TWO_SIDE %d\n#define LOCAL_VIEWER %d\n"
                      "#define NORMALISE %d\n#define LIGHTS %d\n",
                      v & 1, v >> 1 & 1, v >> 2 & 1, v >> 3 & 1, v >> 4);
        gl.failed[v] = !link(p, defines, kVertexShader, kFragmentShader, true);
    }
    return gl.failed[v] ? nullptr : &p;
}

// The products of light and material that the shader sums, for the enabled lights in order.
struct LitTerms {
    int lights = 0;
    GLfloat position[kShaderLights][4];
    GLfloat scene[2][4];
    GLfloat ambient[2][kShaderLights][4];
    GLfloat diffuse[2][kShaderLights][4];
    GLfloat specular[2][kShaderLights][4];
    GLfloat shininess[2];
};

void litTerms(LitTerms& t) {
    std::memset(&t, 0, sizeof t);
    for (const Light& light : gl.light) {
        if (!light.enabled || t.lights == kShaderLights) continue;
        std::memcpy(t.position[t.lights], light.position, sizeof light.position);
        for (int s = 0; s < 2; ++s) {
            const Material& m = gl.material[s];
            for (int c = 0; c < 4; ++c) {
                t.ambient[s][t.lights][c] = light.ambient[c] * m.ambient[c];
                t.diffuse[s][t.lights][c] = light.diffuse[c] * m.diffuse[c];
                t.specular[s][t.lights][c] = light.specular[c] * m.specular[c];
            }
        }
        ++t.lights;
    }
    for (int s = 0; s < 2; ++s) {
        const Material& m = gl.material[s];
        for (int c = 0; c < 4; ++c)
            t.scene[s][c] = m.emission[c] + m.ambient[c] * gl.modelAmbient[c];
        t.shininess[s] = m.shininess;
        // The alpha of the lit colour is the diffuse one's, which the shader reads from light 0.
        for (int l = 0; l < kShaderLights; ++l)
            t.diffuse[s][l][3] = m.diffuse[3];
    }
}

void setGeometryUniforms(const Program& p) {
    emscripten_glUniformMatrix4fv(p.modelview, 1, GL_FALSE, modelview().m);
    emscripten_glUniformMatrix4fv(p.projection, 1, GL_FALSE, projection().m);
    GLfloat n[9];
    normalMatrix(modelview(), n);
    emscripten_glUniformMatrix3fv(p.normalMatrix, 1, GL_FALSE, n);
    emscripten_glUniform4fv(p.colour, 1, gl.colour);
    if (!gl.lighting) return;
    LitTerms t;
    litTerms(t);
    emscripten_glUniform4fv(p.lightPosition, kShaderLights, &t.position[0][0]);
    emscripten_glUniform4fv(p.sceneColour, 2, &t.scene[0][0]);
    emscripten_glUniform4fv(p.ambient, 2 * kShaderLights, &t.ambient[0][0][0]);
    emscripten_glUniform4fv(p.diffuse, 2 * kShaderLights, &t.diffuse[0][0][0]);
    emscripten_glUniform4fv(p.specular, 2 * kShaderLights, &t.specular[0][0][0]);
    emscripten_glUniform1fv(p.shininess, 2, t.shininess);
}

// Draws the batch and empties it.
void flush() {
    if (gl.batched == 0) return;
    const GLsizei stride = kFloatsPerVertex * sizeof(GLfloat);
    emscripten_glBufferSubData(GL_ARRAY_BUFFER, 0, gl.batched * stride, gl.batch);
    if (gl.kind == Kind::kPoints) {
        emscripten_glUseProgram(gl.points.id);
        emscripten_glUniform4f(gl.points.viewport, gl.viewport[0], gl.viewport[1], gl.viewport[2],
                               gl.viewport[3]);
        emscripten_glDisableVertexAttribArray(2);
        emscripten_glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
        emscripten_glVertexAttribPointer(1, 4, GL_FLOAT, GL_FALSE, stride,
                                         reinterpret_cast<void*>(3 * sizeof(GLfloat)));
        emscripten_glDrawArrays(GL_POINTS, 0, gl.batched);
    } else {
        const Program* p = geometry(variant());
        if (p == nullptr) {
            gl.batched = 0;
            return;
        }
        emscripten_glUseProgram(p->id);
        setGeometryUniforms(*p);
        emscripten_glEnableVertexAttribArray(2);
        emscripten_glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, nullptr);
        emscripten_glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride,
                                         reinterpret_cast<void*>(3 * sizeof(GLfloat)));
        emscripten_glVertexAttribPointer(2, 1, GL_FLOAT, GL_FALSE, stride,
                                         reinterpret_cast<void*>(6 * sizeof(GLfloat)));
        if (gl.kind == Kind::kEdges) {
            emscripten_glBufferSubData(GL_ELEMENT_ARRAY_BUFFER, 0, gl.indexed * sizeof(GLushort),
                                       gl.indices);
            emscripten_glDrawElements(GL_LINES, gl.indexed, GL_UNSIGNED_SHORT, nullptr);
        } else {
            emscripten_glDrawArrays(gl.kind == Kind::kTriangles ? GL_TRIANGLES : GL_LINES, 0,
                                    gl.batched);
        }
    }
    gl.batched = 0;
    gl.indexed = 0;
    ++gl.batchNumber;
}

// Room for `vertices` more of this kind in the batch, drawing what it holds first when it is of
// another kind or full.
GLfloat* reserve(Kind kind, int vertices) {
    if (gl.kind != kind || gl.batched + vertices > kBatchVertices) flush();
    gl.kind = kind;
    GLfloat* out = gl.batch + gl.batched * kFloatsPerVertex;
    gl.batched += vertices;
    return out;
}

// A batched vertex of a polygon's back, when the layer decides the sides: lit as a front with the
// normal reversed.
void turnAway(GLfloat* vertex) {
    for (int i = 3; i < 6; ++i)
        vertex[i] = -vertex[i];
    vertex[6] = -1.0f;
}

// A vertex into the batch; `side` -1 is a polygon's back.
GLfloat* put(GLfloat* out, const Vertex& v, GLfloat side) {
    std::memcpy(out, v.position, sizeof v.position);
    std::memcpy(out + 3, v.normal, sizeof v.normal);
    out[6] = side;
    if (gl.sidesHere && side < 0) turnAway(out);
    return out + kFloatsPerVertex;
}

// +1 when the polygon through the object positions a, b, c faces the viewer (counter-clockwise in
// the window), -1 when not: the sign of the determinant of their clip coordinates x, y, w.
GLfloat facingOf(const GLfloat* a, const GLfloat* b, const GLfloat* c) {
    const Matrix& mvp = gl.clip;
    GLfloat p[3][4];
    const GLfloat* v[3] = {a, b, c};
    for (int i = 0; i < 3; ++i) {
        const GLfloat object[4] = {v[i][0], v[i][1], v[i][2], 1};
        transform(mvp, object, p[i]);
    }
    const double det = double{p[0][0]} * (double{p[1][1]} * p[2][3] - double{p[2][1]} * p[1][3]) -
                       double{p[1][0]} * (double{p[0][1]} * p[2][3] - double{p[2][1]} * p[0][3]) +
                       double{p[2][0]} * (double{p[0][1]} * p[1][3] - double{p[1][1]} * p[0][3]);
    return det >= 0 ? 1.0f : -1.0f;
}

// The index in the batch of the corner at v's position, added to the batch the first time the
// batch meets it.
std::uint32_t cornerIndex(const Vertex& v) {
    std::uint32_t bits[3];
    std::memcpy(bits, v.position, sizeof bits);
    std::uint32_t h = (bits[0] * 0x9E3779B1u ^ bits[1]) * 0x85EBCA77u ^ bits[2];
    h = (h ^ h >> 15) * 0xC2B2AE3Du;
    for (std::uint32_t i = h ^ h >> 13;; ++i) {
        Slot& slot = gl.corners[i & (kCornerSlots - 1)];
        if (slot.batch != gl.batchNumber) {
            slot = {gl.batchNumber, static_cast<std::uint32_t>(gl.batched)};
            put(gl.batch + gl.batched++ * kFloatsPerVertex, v, 1.0f);
            return slot.value;
        }
        if (std::memcmp(gl.batch + slot.value * kFloatsPerVertex, v.position, sizeof bits) == 0)
            return slot.value;
    }
}

// True the first time the batch meets the edge between the corners a and b, in either direction.
bool newEdge(std::uint32_t a, std::uint32_t b) {
    const std::uint32_t key = a < b ? a << 16 | b : b << 16 | a;
    const std::uint32_t h = key * 0x9E3779B1u;
    for (std::uint32_t i = h ^ h >> 16;; ++i) {
        Slot& slot = gl.edges[i & (kEdgeSlots - 1)];
        if (slot.batch != gl.batchNumber) {
            slot = {gl.batchNumber, key};
            return true;
        }
        if (slot.value == key) return false;
    }
}

// An unlit polygon as lines: each edge the batch has not yet met, between its corners' indices. An
// edge two polygons share would draw the same pixels in the same colour twice.
void edges(const Vertex* const* corners, int n) {
    if (gl.kind != Kind::kEdges || gl.batched + n > kBatchVertices ||
        gl.indexed + 2 * n > kBatchIndices)
        flush();
    gl.kind = Kind::kEdges;
    std::uint32_t index[4];
    for (int c = 0; c < n; ++c)
        index[c] = cornerIndex(*corners[c]);
    for (int e = 0; e < n; ++e) {
        const std::uint32_t a = index[e];
        const std::uint32_t b = index[(e + 1) % n];
        if (!newEdge(a, b)) continue;
        gl.indices[gl.indexed++] = static_cast<GLushort>(a);
        gl.indices[gl.indexed++] = static_cast<GLushort>(b);
    }
}

// A polygon of three or four corners, filled or as its edges as the polygon mode of its side
// says. Only the side of a polygon drawn as lines is decided here, and only when it matters.
void polygon(const Vertex* const* corners, int n) {
    const bool sidesDiffer = gl.polygonMode[kFront] != gl.polygonMode[kBack];
    const bool litSides = gl.lighting && gl.twoSide;
    GLfloat side = 0.0f;
    GLenum mode = gl.polygonMode[kFront];
    if (sidesDiffer || gl.sidesHere || (litSides && mode == GL_LINE)) {
        side = facingOf(corners[0]->position, corners[1]->position, corners[2]->position);
        mode = gl.polygonMode[side > 0 ? kFront : kBack];
    }
    if (mode == GL_FILL) {
        // A side decided here for the lighting; otherwise the rasteriser's.
        if (!gl.sidesHere) side = 0.0f;
        GLfloat* out = reserve(Kind::kTriangles, 3 * (n - 2));
        for (int t = 1; t + 1 < n; ++t) {
            out = put(out, *corners[0], side);
            out = put(out, *corners[t], side);
            out = put(out, *corners[t + 1], side);
        }
        return;
    }
    if (!gl.lighting) {
        edges(corners, n);
        return;
    }
    if (!litSides) side = 1.0f;
    GLfloat* out = reserve(Kind::kLines, 2 * n);
    for (int e = 0; e < n; ++e) {
        out = put(out, *corners[e], side);
        out = put(out, *corners[(e + 1) % n], side);
    }
}

void line(const Vertex& a, const Vertex& b) {
    GLfloat* out = reserve(Kind::kLines, 2);
    out = put(out, a, 1.0f);
    put(out, b, 1.0f);
}

// Takes the primitive's next vertex and emits what it completes.
void addVertex(const Vertex& v) {
    const int i = gl.count++;
    Vertex* const recent = gl.recent;  // the vertices i - 1, i - 2 and i - 3
    switch (gl.mode) {
        case GL_TRIANGLES:
            if (i % 3 == 2) {
                const Vertex* corners[3] = {&recent[1], &recent[0], &v};
                polygon(corners, 3);
            }
            break;
        case GL_QUAD_STRIP:
            // Quad k has the strip's vertices 2k, 2k + 1, 2k + 3, 2k + 2 in that order.
            if (i >= 3 && i % 2 == 1) {
                const Vertex* corners[4] = {&recent[2], &recent[1], &v, &recent[0]};
                polygon(corners, 4);
            }
            break;
        case GL_LINES:
            if (i % 2 == 1) line(recent[0], v);
            break;
        case GL_LINE_STRIP:
        case GL_LINE_LOOP:
            if (i >= 1) line(recent[0], v);
            break;
        default:
            break;
    }
    if (i == 0) gl.first = v;
    recent[2] = recent[1];
    recent[1] = recent[0];
    recent[0] = v;
}

// State that the batch's draw reads changes: what is batched is drawn under the old state first.
void changing() {
    if (!gl.inside) flush();
}

bool setVector(GLfloat* to, const GLfloat* from, int n) {
    if (std::memcmp(to, from, n * sizeof(GLfloat)) == 0) return false;
    changing();
    std::memcpy(to, from, n * sizeof(GLfloat));
    return true;
}

// The colour OpenGL gives a vertex, here the raster position, at eye position `eye` with the
// current normal: lit (front side) or the current colour.
void rasterColour(const GLfloat eye[4], GLfloat out[4]) {
    if (!gl.lighting) {
        std::memcpy(out, gl.colour, sizeof gl.colour);
        return;
    }
    GLfloat nm[9];
    normalMatrix(modelview(), nm);
    GLfloat n[3];
    for (int i = 0; i < 3; ++i)
        n[i] = nm[i] * gl.normal[0] + nm[3 + i] * gl.normal[1] + nm[6 + i] * gl.normal[2];
    if (gl.normalise) {
        const GLfloat length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
        if (length > 0) {
            for (GLfloat& c : n)
                c /= length;
        }
    }
    const GLfloat p[3] = {eye[0] / eye[3], eye[1] / eye[3], eye[2] / eye[3]};
    GLfloat v[3] = {0.0f, 0.0f, 1.0f};
    if (gl.localViewer) {
        const GLfloat length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
        for (int i = 0; i < 3; ++i)
            v[i] = length > 0 ? -p[i] / length : 0.0f;
    }
    LitTerms t;
    litTerms(t);
    GLfloat c[4];
    std::memcpy(c, t.scene[kFront], sizeof c);
    for (int l = 0; l < t.lights; ++l) {
        const GLfloat* lp = t.position[l];
        GLfloat d[3];
        for (int i = 0; i < 3; ++i)
            d[i] = lp[3] == 0 ? lp[i] : lp[i] - p[i];
        const GLfloat dl = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
        for (GLfloat& x : d)
            x = dl > 0 ? x / dl : 0.0f;
        const GLfloat nl = n[0] * d[0] + n[1] * d[1] + n[2] * d[2];
        for (int i = 0; i < 4; ++i)
            c[i] += t.ambient[kFront][l][i];
        if (nl > 0) {
            GLfloat h[3] = {d[0] + v[0], d[1] + v[1], d[2] + v[2]};
            const GLfloat hl = std::sqrt(h[0] * h[0] + h[1] * h[1] + h[2] * h[2]);
            GLfloat nh = hl > 0 ? (n[0] * h[0] + n[1] * h[1] + n[2] * h[2]) / hl : 0.0f;
            if (nh < 0) nh = 0;
            const GLfloat s = t.shininess[kFront];
            const GLfloat f = s == 0 ? 1.0f : std::pow(nh, s);
            for (int i = 0; i < 4; ++i)
                c[i] += nl * t.diffuse[kFront][l][i] + f * t.specular[kFront][l][i];
        }
    }
    for (int i = 0; i < 3; ++i)
        out[i] = c[i] < 0 ? 0.0f : c[i] > 1 ? 1.0f : c[i];
    const GLfloat alpha = gl.material[kFront].diffuse[3];
    out[3] = alpha < 0 ? 0.0f : alpha > 1 ? 1.0f : alpha;
}

Material* materialsOf(GLenum face, int& count) {
    count = face == GL_FRONT_AND_BACK ? 2 : 1;
    return face == GL_BACK ? &gl.material[kBack] : &gl.material[kFront];
}

}  // namespace

bool startWebGl(int width, int height) {
    for (Matrix& m : gl.modelview)
        m = kIdentity;
    for (Matrix& m : gl.projection)
        m = kIdentity;
    gl.light[0].diffuse[0] = gl.light[0].diffuse[1] = gl.light[0].diffuse[2] = 1.0f;
    gl.light[0].specular[0] = gl.light[0].specular[1] = gl.light[0].specular[2] = 1.0f;
    gl.viewport[2] = width;
    gl.viewport[3] = height;
    // The unlit variant and the one with everything on, so that a WebGL that cannot compile the
    // shaders is known at once.
    if (geometry(0) == nullptr || geometry(kVariants - 1) == nullptr) return false;
    if (!link(gl.points, "", kPointShader, kPointFragmentShader, false)) return false;
    gl.batch =
        static_cast<GLfloat*>(std::malloc(sizeof(GLfloat) * kFloatsPerVertex * kBatchVertices));
    gl.indices = static_cast<GLushort*>(std::malloc(sizeof(GLushort) * kBatchIndices));
    gl.corners = static_cast<Slot*>(std::calloc(kCornerSlots, sizeof(Slot)));
    gl.edges = static_cast<Slot*>(std::calloc(kEdgeSlots, sizeof(Slot)));
    if (gl.batch == nullptr || gl.indices == nullptr || gl.corners == nullptr ||
        gl.edges == nullptr)
        return false;
    emscripten_glGenBuffers(1, &gl.buffer);
    emscripten_glBindBuffer(GL_ARRAY_BUFFER, gl.buffer);
    emscripten_glBufferData(GL_ARRAY_BUFFER, sizeof(GLfloat) * kFloatsPerVertex * kBatchVertices,
                            nullptr, GL_DYNAMIC_DRAW);
    emscripten_glGenBuffers(1, &gl.indexBuffer);
    emscripten_glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, gl.indexBuffer);
    emscripten_glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(GLushort) * kBatchIndices, nullptr,
                            GL_DYNAMIC_DRAW);
    emscripten_glEnableVertexAttribArray(0);
    emscripten_glEnableVertexAttribArray(1);
    return true;
}

void flushWebGl() {
    flush();
}

void vertexWithNormal(const GLfloat position[3], const GLfloat normal[3]) {
    Vertex v;
    std::memcpy(v.position, position, sizeof v.position);
    std::memcpy(v.normal, normal, sizeof v.normal);
    addVertex(v);
}

extern "C" {

void glBegin(GLenum mode) {
    gl.mode = mode;
    gl.inside = true;
    gl.count = 0;
    // Filled triangles, most of every frame, go straight into the batch.
    gl.direct = mode == GL_TRIANGLES && gl.polygonMode[kFront] == GL_FILL &&
                gl.polygonMode[kBack] == GL_FILL;
    // No matrix or material may change before glEnd. Every polygon's side is found through
    // `clip`, whoever asks for it.
    gl.sidesHere = sidesDecidedHere();
    gl.clip = multiply(projection(), modelview());
}

void glEnd() {
    if (gl.mode == GL_LINE_LOOP && gl.count >= 2) line(gl.recent[0], gl.first);
    // A triangle left incomplete is no triangle.
    if (gl.direct && gl.count % 3 != 0) gl.batched -= 3;
    gl.inside = false;
    gl.direct = false;
}

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (gl.direct) {
        if (gl.count++ % 3 == 0) gl.next = reserve(Kind::kTriangles, 3);
        GLfloat* out = gl.next;
        out[0] = x;
        out[1] = y;
        out[2] = z;
        out[3] = gl.normal[0];
        out[4] = gl.normal[1];
        out[5] = gl.normal[2];
        out[6] = 0.0f;
        gl.next = out + kFloatsPerVertex;
        if (gl.sidesHere && gl.count % 3 == 0) {
            GLfloat* first = out - 2 * kFloatsPerVertex;
            if (facingOf(first, first + kFloatsPerVertex, out) < 0) {
                for (GLfloat* corner = first; corner <= out; corner += kFloatsPerVertex)
                    turnAway(corner);
            }
        }
        return;
    }
    Vertex v{{x, y, z}, {gl.normal[0], gl.normal[1], gl.normal[2]}};
    addVertex(v);
}

void glVertex3fv(const GLfloat* v) {
    glVertex3f(v[0], v[1], v[2]);
}

void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    gl.normal[0] = x;
    gl.normal[1] = y;
    gl.normal[2] = z;
}

void glNormal3fv(const GLfloat* v) {
    glNormal3f(v[0], v[1], v[2]);
}

void glColor4f(GLfloat r, GLfloat g, GLfloat b, GLfloat a) {
    const GLfloat c[4] = {r, g, b, a};
    // Unlit primitives take the colour from the draw; lit ones and raster positions do not.
    if (gl.lighting) {
        std::memcpy(gl.colour, c, sizeof c);
    } else {
        setVector(gl.colour, c, 4);
    }
}

void glColor3f(GLfloat r, GLfloat g, GLfloat b) {
    glColor4f(r, g, b, 1.0f);
}

void glColor3fv(const GLfloat* v) {
    glColor4f(v[0], v[1], v[2], 1.0f);
}

void glMaterialfv(GLenum face, GLenum pname, const GLfloat* params) {
    int count;
    Material* m = materialsOf(face, count);
    for (int s = 0; s < count; ++s) {
        switch (pname) {
            case GL_AMBIENT:
                setVector(m[s].ambient, params, 4);
                break;
            case GL_DIFFUSE:
                setVector(m[s].diffuse, params, 4);
                break;
            case GL_AMBIENT_AND_DIFFUSE:
                setVector(m[s].ambient, params, 4);
                setVector(m[s].diffuse, params, 4);
                break;
            case GL_SPECULAR:
                setVector(m[s].specular, params, 4);
                break;
            case GL_EMISSION:
                setVector(m[s].emission, params, 4);
                break;
            case GL_SHININESS:
                setVector(&m[s].shininess, params, 1);
                break;
            default:
                break;
        }
    }
}

void glMaterialf(GLenum face, GLenum pname, GLfloat param) {
    glMaterialfv(face, pname, &param);
}

void glMateriali(GLenum face, GLenum pname, GLint param) {
    glMaterialf(face, pname, static_cast<GLfloat>(param));
}

void glLightfv(GLenum which, GLenum pname, const GLfloat* params) {
    if (which < GL_LIGHT0 || which >= GL_LIGHT0 + kMaxLights) return;
    Light& light = gl.light[which - GL_LIGHT0];
    switch (pname) {
        case GL_AMBIENT:
            setVector(light.ambient, params, 4);
            break;
        case GL_DIFFUSE:
            setVector(light.diffuse, params, 4);
            break;
        case GL_SPECULAR:
            setVector(light.specular, params, 4);
            break;
        case GL_POSITION: {
            // Kept in eye coordinates: through the modelview as it is now.
            GLfloat eye[4];
            transform(modelview(), params, eye);
            setVector(light.position, eye, 4);
            break;
        }
        default:
            break;
    }
}

void glLightModelfv(GLenum pname, const GLfloat* params) {
    switch (pname) {
        case GL_LIGHT_MODEL_AMBIENT:
            setVector(gl.modelAmbient, params, 4);
            break;
        case GL_LIGHT_MODEL_LOCAL_VIEWER:
            changing();
            gl.localViewer = params[0] != 0;
            break;
        case GL_LIGHT_MODEL_TWO_SIDE:
            changing();
            gl.twoSide = params[0] != 0;
            break;
        default:
            break;
    }
}

void glLightModeli(GLenum pname, GLint param) {
    const GLfloat value = static_cast<GLfloat>(param);
    glLightModelfv(pname, &value);
}

void glPolygonMode(GLenum face, GLenum mode) {
    // Applies to the polygons given from now on; nothing batched depends on it.
    if (face != GL_BACK) gl.polygonMode[kFront] = mode;
    if (face != GL_FRONT) gl.polygonMode[kBack] = mode;
}

void glEnable(GLenum cap) {
    changing();
    if (cap == GL_LIGHTING) {
        gl.lighting = true;
    } else if (cap == GL_NORMALIZE) {
        gl.normalise = true;
    } else if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + kMaxLights) {
        gl.light[cap - GL_LIGHT0].enabled = true;
    } else if (cap == GL_DEPTH_TEST) {
        emscripten_glEnable(cap);
    }
}

void glDisable(GLenum cap) {
    changing();
    if (cap == GL_LIGHTING) {
        gl.lighting = false;
    } else if (cap == GL_NORMALIZE) {
        gl.normalise = false;
    } else if (cap >= GL_LIGHT0 && cap < GL_LIGHT0 + kMaxLights) {
        gl.light[cap - GL_LIGHT0].enabled = false;
    } else if (cap == GL_DEPTH_TEST) {
        emscripten_glDisable(cap);
    }
}

void glMatrixMode(GLenum mode) {
    gl.matrixMode = mode;
}

void glLoadIdentity() {
    changing();
    top() = kIdentity;
}

void glLoadMatrixf(const GLfloat* m) {
    changing();
    std::memcpy(top().m, m, sizeof top().m);
}

void glMultMatrixf(const GLfloat* m) {
    changing();
    Matrix b;
    std::memcpy(b.m, m, sizeof b.m);
    top() = multiply(top(), b);
}

void glMultMatrixd(const GLdouble* m) {
    GLfloat f[16];
    for (int i = 0; i < 16; ++i)
        f[i] = static_cast<GLfloat>(m[i]);
    glMultMatrixf(f);
}

void glPushMatrix() {
    if (gl.matrixMode == GL_PROJECTION) {
        if (gl.projectionTop + 1 < kProjectionDepth) {
            gl.projection[gl.projectionTop + 1] = gl.projection[gl.projectionTop];
            ++gl.projectionTop;
        }
    } else if (gl.modelviewTop + 1 < kModelviewDepth) {
        gl.modelview[gl.modelviewTop + 1] = gl.modelview[gl.modelviewTop];
        ++gl.modelviewTop;
    }
}

void glPopMatrix() {
    changing();
    if (gl.matrixMode == GL_PROJECTION) {
        if (gl.projectionTop > 0) --gl.projectionTop;
    } else if (gl.modelviewTop > 0) {
        --gl.modelviewTop;
    }
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    changing();
    // Only the last column changes, as Mesa computes it.
    GLfloat* m = top().m;
    for (int i = 0; i < 4; ++i)
        m[12 + i] = m[i] * x + m[4 + i] * y + m[8 + i] * z + m[12 + i];
}

void glTranslated(GLdouble x, GLdouble y, GLdouble z) {
    glTranslatef(static_cast<GLfloat>(x), static_cast<GLfloat>(y), static_cast<GLfloat>(z));
}

void glViewport(GLint x, GLint y, GLsizei width, GLsizei height) {
    changing();
    gl.viewport[0] = x;
    gl.viewport[1] = y;
    gl.viewport[2] = width;
    gl.viewport[3] = height;
    emscripten_glViewport(x, y, width, height);
}

void glClearColor(GLclampf r, GLclampf g, GLclampf b, GLclampf a) {
    emscripten_glClearColor(r, g, b, a);
}

void glClear(GLbitfield mask) {
    flush();
    emscripten_glClear(mask);
}

void glRasterPos3f(GLfloat x, GLfloat y, GLfloat z) {
    const GLfloat object[4] = {x, y, z, 1.0f};
    GLfloat eye[4], clip[4];
    transform(modelview(), object, eye);
    transform(projection(), eye, clip);
    const GLfloat w = clip[3];
    gl.rasterValid = w > 0 && -w <= clip[0] && clip[0] <= w && -w <= clip[1] && clip[1] <= w &&
                     -w <= clip[2] && clip[2] <= w;
    if (!gl.rasterValid) return;
    // The viewport's mapping as Mesa applies it: scale and translate in floats.
    const GLfloat halfWidth = gl.viewport[2] / 2.0f;
    const GLfloat halfHeight = gl.viewport[3] / 2.0f;
    gl.raster[0] = clip[0] / w * halfWidth + (gl.viewport[0] + halfWidth);
    gl.raster[1] = clip[1] / w * halfHeight + (gl.viewport[1] + halfHeight);
    gl.raster[2] = clip[2] / w * 0.5f + 0.5f;
    rasterColour(eye, gl.rasterColour);
}

void glPixelStorei(GLenum pname, GLint param) {
    if (pname == GL_UNPACK_ALIGNMENT) gl.unpackAlignment = param;
    if (pname == GL_PACK_ALIGNMENT) gl.packAlignment = param;
}

void glBitmap(GLsizei width, GLsizei height, GLfloat xorig, GLfloat yorig, GLfloat xmove,
              GLfloat ymove, const GLubyte* bitmap) {
    if (!gl.rasterValid) return;
    // Mesa places the bitmap with a small bias, so that a raster position a hair below a whole
    // pixel does not move the glyph by one.
    constexpr GLfloat kEpsilon = 0.0001f;
    const int left = static_cast<int>(std::floor(gl.raster[0] + kEpsilon - xorig));
    const int bottom = static_cast<int>(std::floor(gl.raster[1] + kEpsilon - yorig));
    const int rowBytes =
        ((width + 7) / 8 + gl.unpackAlignment - 1) / gl.unpackAlignment * gl.unpackAlignment;
    int bits = 0;
    for (int j = 0; j < height; ++j)
        for (int i = 0; i < width; ++i)
            bits += bitmap[j * rowBytes + i / 8] >> (7 - i % 8) & 1;
    if (bits > 0) {
        GLfloat* out = reserve(Kind::kPoints, bits);
        for (int j = 0; j < height; ++j) {
            for (int i = 0; i < width; ++i) {
                if (!(bitmap[j * rowBytes + i / 8] >> (7 - i % 8) & 1)) continue;
                out[0] = static_cast<GLfloat>(left + i) + 0.5f;
                out[1] = static_cast<GLfloat>(bottom + j) + 0.5f;
                out[2] = gl.raster[2];
                std::memcpy(out + 3, gl.rasterColour, sizeof gl.rasterColour);
                out += kFloatsPerVertex;
            }
        }
    }
    gl.raster[0] += xmove;
    gl.raster[1] += ymove;
}

void glReadBuffer(GLenum) {
    // WebGL reads the one picture there is.
}

void glReadPixels(GLint x, GLint y, GLsizei width, GLsizei height, GLenum format, GLenum type,
                  GLvoid* pixels) {
    flush();
    if (type != GL_UNSIGNED_BYTE || (format != GL_RGB && format != GL_RGBA)) return;
    // WebGL reads RGBA rows, four bytes a pixel; they are packed as asked here.
    const std::size_t rgbaBytes = static_cast<std::size_t>(width) * height * 4;
    auto* rgba = static_cast<GLubyte*>(std::malloc(rgbaBytes > 0 ? rgbaBytes : 1));
    if (rgba == nullptr) return;
    emscripten_glPixelStorei(GL_PACK_ALIGNMENT, 4);
    emscripten_glReadPixels(x, y, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    const int channels = format == GL_RGB ? 3 : 4;
    const std::size_t row = (static_cast<std::size_t>(width) * channels + gl.packAlignment - 1) /
                            gl.packAlignment * gl.packAlignment;
    auto* out = static_cast<GLubyte*>(pixels);
    for (GLsizei j = 0; j < height; ++j)
        for (GLsizei i = 0; i < width; ++i)
            std::memcpy(out + j * row + i * channels,
                        rgba + (static_cast<std::size_t>(j) * width + i) * 4, channels);
    std::free(rgba);
}

void glFlush() {
    flush();
}

void glFinish() {
    flush();
    emscripten_glFinish();
}

}  // extern "C"
