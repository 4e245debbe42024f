#include "render/display.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <iterator>
#include <vector>

#include "app/window.h"
#include "input/camera.h"
#include "input/commands.h"
#include "input/keys.h"
#include "render/labels.h"
#include "scene_fixture.h"
#include "surface_reference.h"

namespace {

bool named(const GlCall& call, const char* name) {
    return std::strcmp(call.name, name) == 0;
}

// The outline, exactly as a frame starts: clears, colour, line mode, the ten-vertex strip.
const std::vector<GlCall> kFrameStart = {
    {"glClear", {GL_COLOR_BUFFER_BIT}},
    {"glClear", {GL_DEPTH_BUFFER_BIT}},
    {"glColor3fv", {0, 0.1f, 0.1f}},
    {"glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, 0, 0.1f, 0.1f, 1}},
    {"glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE}},
    {"glBegin", {GL_QUAD_STRIP}},
    {"glVertex3f", {-32, -32, -32}},
    {"glVertex3f", {32, -32, -32}},
    {"glVertex3f", {-32, 32, -32}},
    {"glVertex3f", {32, 32, -32}},
    {"glVertex3f", {-32, 32, 32}},
    {"glVertex3f", {32, 32, 32}},
    {"glVertex3f", {-32, -32, 32}},
    {"glVertex3f", {32, -32, 32}},
    {"glVertex3f", {-32, -32, -32}},
    {"glVertex3f", {32, -32, -32}},
    {"glEnd", {}},
};

const std::vector<GlCall> kLitSurfaceMaterial = {
    {"glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT, 0, 0, 0.2f, 1}},
    {"glMaterialfv", {GL_FRONT_AND_BACK, GL_DIFFUSE, 0, 0, 0.2f, 1}},
    {"glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 0, 0, 0.5f, 1}},
    {"glMateriali", {GL_FRONT_AND_BACK, GL_SHININESS, 5}},
    {"glPolygonMode", {GL_FRONT_AND_BACK, GL_FILL}},
};

const std::vector<GlCall> kMaterialReset = {
    {"glMaterialfv", {GL_FRONT_AND_BACK, GL_SPECULAR, 0, 0, 0, 1}},
    {"glMateriali", {GL_FRONT_AND_BACK, GL_SHININESS, 0}},
};

// Compares recorded calls [from, from + expected.size()) with `expected`; returns the index
// after them.
size_t expectCallsAt(size_t from, const std::vector<GlCall>& expected) {
    EXPECT_LE(from + expected.size(), glDouble.calls.size());
    for (size_t i = 0; i < expected.size() && from + i < glDouble.calls.size(); ++i) {
        SCOPED_TRACE(from + i);
        EXPECT_STREQ(glDouble.calls[from + i].name, expected[i].name);
        EXPECT_EQ(glDouble.calls[from + i].args, expected[i].args);
    }
    return from + expected.size();
}

std::vector<GlCall> callsOfDrawLabels() {
    resetGlDouble();
    drawLabels();
    return glDouble.calls;
}

struct DrawnTriangle {
    float normal[3];
    float vertices[3][3];
};

// The triangles of each glBegin(GL_TRIANGLES) block, checking the shape of every block on the
// way: nothing but one normal and then three vertices per triangle.
std::vector<std::vector<DrawnTriangle>> surfaceBlocks() {
    std::vector<std::vector<DrawnTriangle>> blocks;
    const std::vector<GlCall>& calls = glDouble.calls;
    for (size_t i = 0; i < calls.size(); ++i) {
        if (!named(calls[i], "glBegin") || calls[i].args[0] != GL_TRIANGLES) continue;
        std::vector<DrawnTriangle> block;
        ++i;
        for (; i < calls.size() && !named(calls[i], "glEnd"); i += 4) {
            if (i + 3 >= calls.size() || !named(calls[i], "glNormal3fv") ||
                !named(calls[i + 1], "glVertex3f") || !named(calls[i + 2], "glVertex3f") ||
                !named(calls[i + 3], "glVertex3f")) {
                ADD_FAILURE() << "call " << i << " does not start a normal and three vertices";
                return blocks;
            }
            DrawnTriangle t{};
            for (int c = 0; c < 3; ++c) {
                t.normal[c] = static_cast<float>(calls[i].args[c]);
            }
            for (int v = 0; v < 3; ++v) {
                for (int c = 0; c < 3; ++c) {
                    t.vertices[v][c] = static_cast<float>(calls[i + 1 + v].args[c]);
                }
            }
            block.push_back(t);
        }
        EXPECT_LT(i, calls.size()) << "unclosed glBegin(GL_TRIANGLES)";
        EXPECT_FALSE(block.empty()) << "a block without triangles";
        blocks.push_back(block);
    }
    return blocks;
}

// The normal is (V - U) x (W - U), unnormalised.
void expectCrossProductNormal(const DrawnTriangle& t) {
    const float* u = t.vertices[0];
    double a[3], b[3];
    for (int c = 0; c < 3; ++c) {
        a[c] = static_cast<double>(t.vertices[1][c]) - u[c];
        b[c] = static_cast<double>(t.vertices[2][c]) - u[c];
    }
    EXPECT_EQ(t.normal[0], static_cast<float>(a[1] * b[2] - a[2] * b[1]));
    EXPECT_EQ(t.normal[1], static_cast<float>(a[2] * b[0] - a[0] * b[2]));
    EXPECT_EQ(t.normal[2], static_cast<float>(a[0] * b[1] - a[1] * b[0]));
}

// A cell has a cut edge when some corner lies below the isolevel and some does not.
bool hasCutEdge(const GridCell& cell, double isolevel) {
    int below = 0;
    for (std::size_t corner : cell.corners) {
        below += isolevel > scene.grid.points[corner].value;
    }
    return below != 0 && below != 8;
}

// Cell c of the scene's grid in storage order.
GridCell cellAt(int c) {
    const int n = scene.grid.cellsPerAxis;
    return gridCell(scene.grid, c / n / n, c / n % n, c % n);
}

// The whole frame, call by call: nothing else is drawn, and no matrix is selected or loaded.
TEST(display, frameOrderFromClearToFlush) {
    startScene();
    scene.selectedBall = 2;
    scene.isolevel = 100.0;  // above every value: no surface in between
    display();

    size_t next = expectCallsAt(0, kFrameStart);
    next = expectCallsAt(next, kLitSurfaceMaterial);
    next = expectCallsAt(next, kMaterialReset);
    next = expectCallsAt(
        next, {
                  {"glColor3fv", {0, 1, 0}},
                  {"glMaterialfv", {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE, 0, 1, 0, 1}},
                  {"glPushMatrix", {}},
                  {"glTranslatef", {12, 12, 0}},
                  {"glutWireSphere", {20, 20, 20}},
                  {"glPopMatrix", {}},
              });
    // Then the labels, and the flush last of all.
    const std::vector<GlCall> frame = glDouble.calls;
    const std::vector<GlCall> labels = callsOfDrawLabels();
    ASSERT_EQ(frame.size(), next + labels.size() + 1);
    for (size_t i = 0; i < labels.size(); ++i) {
        EXPECT_STREQ(frame[next + i].name, labels[i].name) << i;
        EXPECT_EQ(frame[next + i].args, labels[i].args) << i;
    }
    EXPECT_STREQ(frame.back().name, "glFlush");
}

TEST(display, unlitSurfaceIsABlueWireframe) {
    startScene();
    scene.lightingOn = false;
    display();
    size_t next = expectCallsAt(0, kFrameStart);
    next = expectCallsAt(next, {
                                   {"glColor3f", {0, 0, 1}},
                                   {"glPolygonMode", {GL_FRONT_AND_BACK, GL_LINE}},
                               });
    EXPECT_STREQ(glDouble.calls[next].name, "glBegin");
    // No surface material in between: the material reset is the next material call.
    const int firstMaterial = findCall("glMaterialfv", static_cast<int>(next));
    ASSERT_GT(firstMaterial, static_cast<int>(next));
    EXPECT_STREQ(glDouble.calls[firstMaterial - 1].name, "glEnd");
    expectCallsAt(firstMaterial, kMaterialReset);
    EXPECT_EQ(countCalls("glMateriali"), 1);
}

// Storage indices of the cells with a cut edge, in storage order.
std::vector<int> cellsWithCutEdge() {
    std::vector<int> result;
    const int n = scene.grid.cellsPerAxis;
    for (int c = 0; c < n * n * n; ++c) {
        if (hasCutEdge(cellAt(c), scene.isolevel)) result.push_back(c);
    }
    return result;
}

// One block per cut cell, in storage order: every vertex of block b lies in cell cuts[b], and
// every normal is its triangle's cross product.
void expectBlocksInCells(const std::vector<std::vector<DrawnTriangle>>& blocks,
                         const std::vector<int>& cuts) {
    ASSERT_EQ(blocks.size(), cuts.size());
    for (size_t b = 0; b < blocks.size(); ++b) {
        SCOPED_TRACE(b);
        const GridCell cell = cellAt(cuts[b]);
        const Vec3& low = cell.positions[0];
        const Vec3& high = cell.positions[6];
        for (const DrawnTriangle& t : blocks[b]) {
            expectCrossProductNormal(t);
            for (const auto& v : t.vertices) {
                EXPECT_TRUE(v[0] >= low.x && v[0] <= high.x && v[1] >= low.y && v[1] <= high.y &&
                            v[2] >= low.z && v[2] <= high.z)
                    << v[0] << " " << v[1] << " " << v[2];
            }
        }
    }
}

TEST(display, initialSurfaceHasOneBlockPerCutCell) {
    startScene();
    display();
    const std::vector<int> cuts = cellsWithCutEdge();
    EXPECT_GT(cuts.size(), 1000u);
    expectBlocksInCells(surfaceBlocks(), cuts);
    EXPECT_EQ(countCalls("glBegin"), static_cast<int>(cuts.size()) + 1);  // and the outline
}

// A 4 x 4 x 4 grid of 16-unit cells whose points are 0 except two of value 1 at lattice
// points (1, 1, 1) and (2, 2, 2), that is at (-16, -16, -16) and (0, 0, 0). At isolevel 0.25
// the surface crosses every edge from a high point 12 units out from it: two small closed
// shells of one triangle per cell, which meet in cell (1, 1, 1) with both points as corners.
TEST(display, surfaceOfAKnownGrid) {
    startScene();
    ASSERT_TRUE(setVoxelSize(scene.grid, 16.0));
    ASSERT_EQ(scene.grid.cellsPerAxis, 4);
    const Vec3 high[2] = {{-16, -16, -16}, {0, 0, 0}};
    for (int p = 0; p < 125; ++p) {
        const Vec3 q = pointPosition(scene.grid, p / 25, p / 5 % 5, p % 5);
        scene.grid.points[p].value = 0.0;
        for (const Vec3& h : high) {
            if (q.x == h.x && q.y == h.y && q.z == h.z) scene.grid.points[p].value = 1.0;
        }
    }
    valuesChanged(scene.grid);
    scene.isolevel = 0.25;
    display();

    // The cells around either high point.
    std::vector<int> cuts;
    for (int c = 0; c < 64; ++c) {
        const int i = c / 16, j = c / 4 % 4, k = c % 4;
        const bool first = i <= 1 && j <= 1 && k <= 1;
        const bool second = i >= 1 && i <= 2 && j >= 1 && j <= 2 && k >= 1 && k <= 2;
        if (first || second) cuts.push_back(c);
    }
    ASSERT_EQ(cuts.size(), 15u);
    const auto blocks = surfaceBlocks();
    expectBlocksInCells(blocks, cuts);

    const int sharedCell = (1 * 4 + 1) * 4 + 1;
    int triangles = 0;
    for (size_t b = 0; b < blocks.size(); ++b) {
        EXPECT_EQ(blocks[b].size(), cuts[b] == sharedCell ? 2u : 1u) << b;
        for (const DrawnTriangle& t : blocks[b]) {
            ++triangles;
            for (const auto& v : t.vertices) {
                // The interpolated crossing: 12 units from one high point along one axis.
                int crossings = 0;
                for (const Vec3& h : high) {
                    const float d[3] = {v[0] - h.x, v[1] - h.y, v[2] - h.z};
                    int zeros = 0, twelves = 0;
                    for (float component : d) {
                        zeros += component == 0.0f;
                        twelves += component == 12.0f || component == -12.0f;
                    }
                    crossings += zeros == 2 && twelves == 1;
                }
                EXPECT_EQ(crossings, 1) << v[0] << " " << v[1] << " " << v[2];
            }
        }
    }
    EXPECT_EQ(triangles, 16);
}

// Draws a frame, which must draw exactly the surface that polygonising every cell afresh gives.
void expectFresh(const char* change) {
    SCOPED_TRACE(change);
    glDouble.calls.clear();
    display();
    const auto blocks = surfaceBlocks();
    const ReferenceSurface reference = referenceSurface(scene.grid, scene.isolevel);
    ASSERT_EQ(blocks.size(), reference.cellTriangles.size());
    std::size_t t = 0;
    int wrong = 0;
    for (std::size_t b = 0; b < blocks.size(); ++b) {
        ASSERT_EQ(static_cast<int>(blocks[b].size()), reference.cellTriangles[b]);
        for (const DrawnTriangle& drawn : blocks[b]) {
            const Vec3& n = reference.normals[t];
            wrong += drawn.normal[0] != n.x || drawn.normal[1] != n.y || drawn.normal[2] != n.z;
            for (int v = 0; v < 3; ++v) {
                const Vec3& p = reference.triangles[t].vertices[v];
                wrong += drawn.vertices[v][0] != p.x || drawn.vertices[v][1] != p.y ||
                         drawn.vertices[v][2] != p.z;
            }
            ++t;
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The frame draws from a kept surface; after every kind of change it must draw exactly what
// polygonising every cell afresh gives, and between changes the same again.
TEST(display, frameAfterEachKindOfChangeDrawsTheFreshSurface) {
    startScene();
    expectFresh("start");
    keyboard('+', 0, 0);
    expectFresh("threshold");
    keyboard('w', 0, 0);
    expectFresh("camera, the surface kept");
    keyboard('2', 0, 0);
    specialKey(GLUT_KEY_RIGHT, 0, 0);
    expectFresh("ball moved");
    keyboard(kKeyDelete, 0, 0);
    expectFresh("ball switched off");
    keyboard(kKeyDelete, 0, 0);
    specialKey(GLUT_KEY_HOME, 0, 0);
    expectFresh("ball switched on and grown");
    keyboard('/', 0, 0);
    expectFresh("finer grid");
    specialKey(GLUT_KEY_PAGE_DOWN, 0, 0);
    expectFresh("ball moved on the finer grid");
    Ball others[kBallCount] = {{-20, 5, 3, 25, true}};
    evaluateField(scene.grid, kBallCount, others);
    expectFresh("values of other balls written by the field pass");
    {
        SlabsWithoutStorage none(scene.surface, ~0u);  // every slab polygonised as it is drawn
        keyboard('-', 0, 0);
        expectFresh("no storage to keep the surface");
    }
    keyboard('*', 0, 0);
    expectFresh("coarser grid");
}

// A frame after events that change nothing the surface is made of draws the kept surface again,
// without extracting it: a kept vertex moved by hand is drawn where it was moved to, until the
// threshold changes.
TEST(display, frameWithNothingChangedDrawsTheKeptSurfaceWithoutExtracting) {
    startScene();
    display();
    const KeptSurface& kept = scene.surface;
    int slab = 0;
    while (slab < kept.slabCount && kept.slabs[slab].triangleCount == 0)
        ++slab;
    ASSERT_LT(slab, kept.slabCount);
    constexpr float kMoved = 1000.0f;  // beyond the cube: no extraction gives it
    kept.slabs[slab].triangles[0].vertices[0].x = kMoved;
    const auto drawsTheMovedVertex = [] {
        for (const GlCall& call : glDouble.calls) {
            if (named(call, "glVertex3f") && call.args[0] == kMoved) return true;
        }
        return false;
    };
    const std::function<void()> unchanging[] = {
        [] { keyboard('w', 0, 0); },
        [] { keyboard('2', 0, 0); },
        [] { keyboard(kKeyBackspace, 0, 0); },  // wireframe
        [] { keyboard('1', 0, 0); },
        [] { specialKey(GLUT_KEY_RIGHT, 0, 0); },  // ball 1 is switched off
        [] {
            mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 300, 300);
            motion(310, 290);
            mouse(GLUT_RIGHT_BUTTON, GLUT_UP, 310, 290);
        },
        [] { reshape(800, 600); },
    };
    for (std::size_t event = 0; event < std::size(unchanging); ++event) {
        SCOPED_TRACE(event);
        unchanging[event]();
        glDouble.calls.clear();
        display();
        EXPECT_TRUE(drawsTheMovedVertex());
    }
    keyboard('+', 0, 0);
    glDouble.calls.clear();
    display();
    EXPECT_FALSE(drawsTheMovedVertex());
    restoreStartValues();  // the camera, the drag and the lighting, for the tests after it
}

// A slab for which there was no storage is polygonised row by row as it is drawn: the frame still
// draws exactly the fresh surface, on the grid of the start and on the finest, where a helper
// thread extracts the other slabs meanwhile. The next frame tries to keep the surface again.
TEST(display, slabsWithoutStorageArePolygonisedAsTheyAreDrawn) {
    startScene();
    for (int grid = 0; grid < 2; ++grid) {
        SCOPED_TRACE(scene.grid.cellsPerAxis);
        display();
        {
            SlabsWithoutStorage refused(scene.surface, 0b1010);
            expectFresh("slabs 1 and 3 refused");
            EXPECT_TRUE(scene.surface.kept[0] && scene.surface.kept[2]);
            EXPECT_FALSE(scene.surface.kept[1] || scene.surface.kept[3]);
            EXPECT_FALSE(scene.surface.complete);
        }
        expectFresh("storage given back");
        EXPECT_TRUE(scene.surface.complete);
        keyboard('/', 0, 0);
        keyboard('/', 0, 0);  // to N = 128
    }
}

TEST(display, noSurfaceOutsideTheValueRange) {
    for (double isolevel : {-1.0, 100.0}) {
        SCOPED_TRACE(isolevel);
        startScene();
        scene.selectedBall = 1;
        scene.isolevel = isolevel;
        display();
        EXPECT_EQ(countCalls("glBegin"), 1);  // the outline only
        EXPECT_EQ(countCalls("glNormal3fv"), 0);
        EXPECT_EQ(countCalls("glutWireSphere"), 1);
        EXPECT_EQ(countCalls("glRasterPos3f"), 13);  // legend, readout, three parameters
    }
}

TEST(display, markerFollowsTheSelectedBall) {
    struct Case {
        int selected;
        bool enabled;
        std::vector<double> colour, translation;
        double radius;
    };
    const Case cases[] = {
        {1, false, {1, 0, 0}, {0, 0, 0}, 10},  // disabled: red, though it adds nothing
        {1, true, {0, 1, 0}, {0, 0, 0}, 10},   // switched on: green
        {2, true, {0, 1, 0}, {12, 12, 0}, 20},
        {2, false, {1, 0, 0}, {12, 12, 0}, 20},  // switched off: red
        {3, true, {0, 1, 0}, {-10, -10, 0}, 30},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selected);
        startScene();
        scene.selectedBall = c.selected;
        scene.balls[c.selected - 1].enabled = c.enabled;
        display();
        const int push = findCall("glPushMatrix");
        ASSERT_GE(push, 2);
        std::vector<double> material = c.colour;
        material.push_back(1);
        material.insert(material.begin(), {GL_FRONT_AND_BACK, GL_AMBIENT_AND_DIFFUSE});
        expectCallsAt(push - 2, {
                                    {"glColor3fv", c.colour},
                                    {"glMaterialfv", material},
                                    {"glPushMatrix", {}},
                                    {"glTranslatef", c.translation},
                                    {"glutWireSphere", {c.radius, 20, 20}},
                                    {"glPopMatrix", {}},
                                });
    }

    startScene();  // nothing selected: no marker
    display();
    EXPECT_EQ(countCalls("glutWireSphere"), 0);
    EXPECT_EQ(countCalls("glPushMatrix"), 0);
    EXPECT_EQ(countCalls("glTranslatef"), 0);
}

}  // namespace
