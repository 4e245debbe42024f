// Randomised storms of GLUT events through the real callbacks, with the scene's invariants
// checked after every event. Seeded and reproducible: set VIEWER_STORM_SEED to replay a seed.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "app/window.h"
#include "input/camera.h"
#include "input/commands.h"
#include "input/keys.h"
#include "render/display.h"
#include "scene_fixture.h"
#include "surface_reference.h"

namespace {

int cellsFor(double voxelSize) {
    const double sizes[] = {0.5, 1.0, 2.0, 4.0, 8.0, 16.0};
    const int counts[] = {128, 64, 32, 16, 8, 4};
    for (int i = 0; i < 6; ++i) {
        if (voxelSize == sizes[i]) return counts[i];
    }
    return -1;
}

long pointCount() {
    const long side = scene.grid.cellsPerAxis + 1;
    return side * side * side;
}

double dot(const Vec3& a, const Vec3& b) {
    return double(a.x) * b.x + double(a.y) * b.y + double(a.z) * b.z;
}

bool isWhole(float v) {
    return std::isfinite(v) && v == std::floor(v);
}

// Everything the viewer promises about its state between two events.
::testing::AssertionResult stateInvariants() {
    if (scene.selectedBall < 0 || scene.selectedBall > kBallCount)
        return ::testing::AssertionFailure() << "selectedBall " << scene.selectedBall;
    if (cellsFor(scene.grid.voxelSize) != scene.grid.cellsPerAxis)
        return ::testing::AssertionFailure()
               << "voxel size " << scene.grid.voxelSize << " with N " << scene.grid.cellsPerAxis;
    if (!(scene.isolevel > 0.0799999 && scene.isolevel < 9.0200001))
        return ::testing::AssertionFailure() << "isolevel " << scene.isolevel;
    for (const Ball& ball : scene.balls) {
        if (!isWhole(ball.radius) || ball.radius < 0 || ball.radius > 100)
            return ::testing::AssertionFailure() << "radius " << ball.radius;
        if (!isWhole(ball.x) || !isWhole(ball.y) || !isWhole(ball.z))
            return ::testing::AssertionFailure() << "centre " << ball.x << " " << ball.y;
    }
    const Camera& c = scene.camera;
    const Vec3* axes[3] = {&c.forward, &c.up, &c.right};
    for (const Vec3* axis : axes) {
        if (std::fabs(dot(*axis, *axis) - 1.0) > 1e-5)
            return ::testing::AssertionFailure() << "axis length^2 " << dot(*axis, *axis);
    }
    const double skew = std::fabs(dot(c.forward, c.up)) + std::fabs(dot(c.forward, c.right)) +
                        std::fabs(dot(c.up, c.right));
    if (skew > 1e-3) return ::testing::AssertionFailure() << "camera axes skewed by " << skew;
    if (scene.lightingOn != isEnabled(GL_LIGHTING))
        return ::testing::AssertionFailure() << "lightingOn disagrees with GL_LIGHTING";
    if (glDouble.matrixDepth != 0 || glDouble.beginDepth != 0)
        return ::testing::AssertionFailure() << "unbalanced push/pop or begin/end";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult fieldInvariants(bool compareWithFresh) {
    int enabled = 0;
    for (const Ball& ball : scene.balls)
        enabled += ball.enabled;
    const long count = pointCount();
    for (long p = 0; p < count; ++p) {
        const double v = scene.grid.points[p].value;
        if (!std::isfinite(v) || v < 0.0 || v > enabled)
            return ::testing::AssertionFailure() << "value " << v << " at point " << p;
    }
    if (compareWithFresh) {
        Grid fresh;
        setVoxelSize(fresh, scene.grid.voxelSize);
        evaluateField(fresh, kBallCount, scene.balls);
        long stale = 0;
        while (stale < count && fresh.points[stale].value == scene.grid.points[stale].value)
            ++stale;
        releaseGrid(fresh);
        if (stale < count) return ::testing::AssertionFailure() << "stale value at point " << stale;
    }
    return ::testing::AssertionSuccess();
}

std::string format(const char* pattern, double value) {
    char text[512];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// Draws a recorded frame and compares every label's text with what its format gives.
::testing::AssertionResult labelsOfAFrame() {
    glDouble.recording = true;
    glDouble.calls.clear();
    display();
    std::vector<std::string> labels;
    int start = findCall("glRasterPos3f");
    while (start >= 0) {
        const int next = findCall("glRasterPos3f", start + 1);
        const int end = next < 0 ? static_cast<int>(glDouble.calls.size()) : next;
        labels.push_back(bitmapText(start, end));
        start = next;
    }
    glDouble.recording = false;
    glDouble.calls.clear();

    std::vector<std::string> expected;
    for (int k = 1; k <= kBallCount; ++k)
        expected.push_back(" |" + std::to_string(k) + "|");
    if (scene.selectedBall != 0) {
        const Ball& b = scene.balls[scene.selectedBall - 1];
        char text[512];
        std::snprintf(text, sizeof text, "(%.1f: %.1f: %.1f | %.1f)", double(b.x), double(b.y),
                      double(b.z), double(b.radius));
        expected.push_back(text);
    }
    expected.push_back(format("VNetWidth=%.1f", kNetWidth));
    expected.push_back(format("VoxelSize=%.1f", scene.grid.voxelSize));
    expected.push_back(format("isolevel=%.2f", scene.isolevel));
    if (labels != expected) {
        auto failure = ::testing::AssertionFailure() << "labels:";
        for (const std::string& label : labels)
            failure << " [" << label << "]";
        return failure;
    }
    return ::testing::AssertionSuccess();
}

struct Storm {
    std::mt19937_64 rng;
    explicit Storm(unsigned long long seed) : rng(seed) {}

    int below(int n) { return static_cast<int>(rng() % static_cast<unsigned long long>(n)); }
    template <size_t N>
    int pick(const int (&values)[N]) {
        return values[below(N)];
    }

    // Pointer coordinates: mostly inside the window, some far outside or at the int limits.
    int coordinate() {
        const int extremes[] = {INT_MIN, INT_MIN + 1, -1000000, -1, 0, 599, 600, 1000000, INT_MAX};
        return below(4) == 0 ? pick(extremes) : below(800) - 100;
    }

    // Any key but Escape, half of the time one of the commands or movement keys.
    unsigned char key() {
        const int commands[] = {'0', '1', '2',        '3',           '4', '5', '6', '7',
                                '8', '9', kKeyDelete, kKeyBackspace, '+', '-', 'w', 's',
                                'a', 'd', ' ',        'c',           'W', '/', '*'};
        int k = below(2) == 0 ? pick(commands) : below(256);
        if (k == kKeyEscape) k = 'x';
        // Keep the storm on grids of at most 32 cells a side; the finest grid has its own run.
        if (k == '/' && scene.grid.voxelSize <= 2.0) k = '*';
        return static_cast<unsigned char>(k);
    }

    int specialKeyCode() {
        const int codes[] = {GLUT_KEY_F1,
                             GLUT_KEY_F5,
                             GLUT_KEY_F12,
                             GLUT_KEY_LEFT,
                             GLUT_KEY_UP,
                             GLUT_KEY_RIGHT,
                             GLUT_KEY_DOWN,
                             GLUT_KEY_PAGE_UP,
                             GLUT_KEY_PAGE_DOWN,
                             GLUT_KEY_HOME,
                             GLUT_KEY_END,
                             GLUT_KEY_INSERT,
                             0,
                             13,
                             99,
                             109,
                             1000,
                             -1,
                             INT_MIN,
                             INT_MAX};
        return pick(codes);
    }

    // One random event; returns its description for failure messages.
    std::string event() {
        switch (below(10)) {
            case 0:
            case 1:
            case 2: {
                const unsigned char k = key();
                keyboard(k, coordinate(), coordinate());
                return "keyboard " + std::to_string(k);
            }
            case 3:
            case 4: {
                const int k = specialKeyCode();
                specialKey(k, coordinate(), coordinate());
                return "specialKey " + std::to_string(k);
            }
            case 5: {
                const int buttons[] = {GLUT_LEFT_BUTTON,
                                       GLUT_MIDDLE_BUTTON,
                                       GLUT_RIGHT_BUTTON,
                                       GLUT_RIGHT_BUTTON,
                                       3,
                                       4,
                                       -1,
                                       99};
                const int states[] = {GLUT_DOWN, GLUT_UP, GLUT_DOWN, GLUT_UP, 2, -1};
                const int button = pick(buttons), state = pick(states);
                mouse(button, state, coordinate(), coordinate());
                return "mouse " + std::to_string(button) + " " + std::to_string(state);
            }
            case 6:
            case 7: {
                const int x = coordinate(), y = coordinate();
                motion(x, y);
                return "motion " + std::to_string(x) + " " + std::to_string(y);
            }
            case 8: {
                const int sizes[] = {0, 1, 600, 800, 400, 4096, 65535};
                const int w = pick(sizes), h = pick(sizes);
                reshape(w, h);
                return "reshape " + std::to_string(w) + "x" + std::to_string(h);
            }
            default:
                display();
                return "display";
        }
    }
};

unsigned long long seedFromEnvironment(unsigned long long fallback) {
    const char* text = std::getenv("VIEWER_STORM_SEED");
    return text ? std::strtoull(text, nullptr, 10) : fallback;
}

using eventStorm = SceneTest;

// Runs `count` random events from `seed`, checking after each; field values are checked in
// full on small grids and every few hundred events otherwise.
void runStorm(unsigned long long seed, int count) {
    SCOPED_TRACE("storm seed " + std::to_string(seed) + " (VIEWER_STORM_SEED replays it)");
    Storm storm(seed);
    glDouble.recording = false;
    for (int i = 1; i <= count; ++i) {
        const std::string what = storm.event();
        ASSERT_TRUE(stateInvariants()) << "after event " << i << ": " << what;
        if (scene.grid.cellsPerAxis <= 8 || i % 250 == 0) {
            ASSERT_TRUE(fieldInvariants(i % 500 == 0)) << "after event " << i << ": " << what;
        }
        if (i % 1000 == 0) {
            ASSERT_TRUE(labelsOfAFrame()) << "after event " << i;
            // The surface that frame drew, kept through every event before it.
            ASSERT_TRUE(sameSurface(scene.surface, referenceSurface(scene.grid, scene.isolevel)))
                << "after event " << i;
        }
    }
}

TEST_F(eventStorm, randomEventsKeepEveryInvariant) {
    const unsigned long long seed = seedFromEnvironment(20261207);
    for (unsigned long long s = seed; s < seed + 4; ++s) {
        startScene();
        runStorm(s, 25000);
        if (HasFatalFailure()) return;
    }
}

TEST_F(eventStorm, everyKeyCodeOnEveryVoxelSize) {
    glDouble.recording = false;
    for (int grid = 0; grid < 3; ++grid) {
        keyboard('*', 0, 0);
        for (int k = 0; k < 256; ++k) {
            if (k == kKeyEscape || k == '/' || k == '*') continue;
            keyboard(static_cast<unsigned char>(k), 0, 0);
            ASSERT_TRUE(stateInvariants()) << "key " << k;
            ASSERT_TRUE(fieldInvariants(false)) << "key " << k;
        }
        ASSERT_TRUE(labelsOfAFrame());
    }
}

TEST_F(eventStorm, hundredThousandArrowPressesPastTwoToTheTwentyFourth) {
    glDouble.recording = false;
    keyboard('*', 0, 0);
    keyboard('*', 0, 0);
    keyboard('*', 0, 0);  // N = 4 keeps each re-evaluation cheap
    keyboard('2', 0, 0);
    scene.balls[1].x = 16777216.0f - 50000.0f;
    for (int i = 0; i < 100000; ++i)
        specialKey(GLUT_KEY_RIGHT, 0, 0);
    // Whole numbers are exact up to 2^24; a float step of 1 cannot go past it.
    EXPECT_EQ(scene.balls[1].x, 16777216.0f);
    ASSERT_TRUE(stateInvariants());
    ASSERT_TRUE(fieldInvariants(true));
    ASSERT_TRUE(labelsOfAFrame());
    for (int i = 0; i < 100000; ++i)
        specialKey(GLUT_KEY_PAGE_DOWN, 0, 0);
    EXPECT_EQ(scene.balls[1].z, -100000.0f);
    ASSERT_TRUE(labelsOfAFrame());
}

TEST_F(eventStorm, tenThousandDragsKeepTheCameraFrame) {
    Storm storm(seedFromEnvironment(7));
    glDouble.recording = false;
    for (int drag = 0; drag < 10000; ++drag) {
        const int x = storm.below(600), y = storm.below(600);
        mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, x, y);
        for (int m = 0; m < 3; ++m)
            motion(storm.below(1200) - 300, storm.below(1200) - 300);
        mouse(GLUT_RIGHT_BUTTON, GLUT_UP, x, y);
        ASSERT_TRUE(stateInvariants()) << "drag " << drag;
    }
    ASSERT_TRUE(labelsOfAFrame());
}

TEST_F(eventStorm, dragsToTheIntegerLimits) {
    glDouble.recording = false;
    const int extremes[] = {INT_MIN, -1, 0, 1, INT_MAX};
    for (int from : extremes) {
        for (int to : extremes) {
            mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, from, to);
            motion(to, from);
            motion(to, to);
            mouse(GLUT_RIGHT_BUTTON, GLUT_UP, to, to);
            ASSERT_TRUE(stateInvariants()) << from << " to " << to;
        }
    }

    // An offset beyond the int range turns like the largest one instead of wrapping round.
    startScene();
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 0, 0);
    motion(INT_MAX, INT_MIN);
    const Camera largest = scene.camera;
    startScene();
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, INT_MIN, INT_MAX);
    motion(INT_MAX, INT_MIN);
    EXPECT_EQ(scene.camera.forward.x, largest.forward.x);
    EXPECT_EQ(scene.camera.forward.y, largest.forward.y);
    EXPECT_EQ(scene.camera.up.z, largest.up.z);
    EXPECT_EQ(scene.camera.right.x, largest.right.x);
}

// Each command followed by its frame, where the field pass runs in parts and a helper thread
// extracts the surface while the frame draws it (which the ThreadSanitizer pass watches).
TEST_F(eventStorm, commandsAtTheFinestGrid) {
    glDouble.recording = false;
    for (int i = 0; i < 3; ++i)
        keyboard('/', 0, 0);  // to 0.5, and once more at the limit
    ASSERT_EQ(scene.grid.cellsPerAxis, 128);
    Storm storm(seedFromEnvironment(11));
    keyboard('3', 0, 0);
    for (int i = 0; i < 40; ++i) {
        const int keys[] = {'/', kKeyDelete, '+', '-', 'w', kKeyBackspace};
        keyboard(static_cast<unsigned char>(storm.pick(keys)), 0, 0);
        specialKey(storm.specialKeyCode(), 0, 0);
        display();
        ASSERT_TRUE(stateInvariants()) << i;
    }
    ASSERT_TRUE(fieldInvariants(true));
    ASSERT_TRUE(labelsOfAFrame());
    ASSERT_TRUE(sameSurface(scene.surface, referenceSurface(scene.grid, scene.isolevel)));
    for (int i = 0; i < 6; ++i)
        keyboard('*', 0, 0);
    EXPECT_EQ(scene.grid.cellsPerAxis, 4);
    ASSERT_TRUE(fieldInvariants(true));
}

}  // namespace
