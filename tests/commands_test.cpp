#include "input/commands.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/resource.h>
#endif
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "input/camera.h"
#include "input/keys.h"
#include "scene_fixture.h"

namespace {

using commandsDeathTest = SceneTest;
using keys = SceneTest;
using isolevel = SceneTest;
using gridKeys = SceneTest;
using gridKeysDeathTest = SceneTest;
using specialKeys = SceneTest;
using deleteKey = SceneTest;

constexpr unsigned char kBackspace = 8;
constexpr double kUnevaluated = -1.0;  // no field value is negative

void press(unsigned char key, int times = 1) {
    for (int i = 0; i < times; ++i)
        keyboard(key, 0, 0);
}

void pressSpecial(int key, int times = 1) {
    for (int i = 0; i < times; ++i)
        specialKey(key, 0, 0);
}

int pointCount() {
    const int side = scene.grid.cellsPerAxis + 1;
    return side * side * side;
}

std::vector<double> fieldValues() {
    std::vector<double> values;
    for (int p = 0; p < pointCount(); ++p)
        values.push_back(scene.grid.points[p].value);
    return values;
}

bool sameBalls(const Ball (&a)[kBallCount], const Ball (&b)[kBallCount]) {
    for (int i = 0; i < kBallCount; ++i) {
        if (a[i].x != b[i].x || a[i].y != b[i].y || a[i].z != b[i].z ||
            a[i].radius != b[i].radius || a[i].enabled != b[i].enabled) {
            return false;
        }
    }
    return true;
}

// The scene's grid and values equal a grid built and evaluated from scratch for its voxel size
// and its balls as they are now.
void expectGridFresh() {
    Grid fresh;
    ASSERT_TRUE(setVoxelSize(fresh, scene.grid.voxelSize));
    ASSERT_EQ(fresh.cellsPerAxis, scene.grid.cellsPerAxis);
    evaluateField(fresh, kBallCount, scene.balls);
    int mismatches = 0;
    for (int p = 0; p < pointCount(); ++p)
        mismatches += scene.grid.points[p].value != fresh.points[p].value;
    for (int t = 0; t <= fresh.cellsPerAxis; ++t)
        mismatches += scene.grid.axis[t] != fresh.axis[t];
    EXPECT_EQ(mismatches, 0);
    releaseGrid(fresh);
}

TEST_F(commandsDeathTest, escapeExitsWithStatusZero) {
#if !GTEST_HAS_DEATH_TEST
    GTEST_SKIP() << "no death tests where no process can be started (WebAssembly)";
#else
    // In the middle of a drag with a ball selected; all of it happens in the child only.
    EXPECT_EXIT(
        {
            startScene();
            press('2');
            mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 10, 10);
            keyboard(kKeyEscape, 0, 0);
        },
        ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(keys, everyKeyButEscapeEndsInTheCamera) {
    for (int key = 0; key < 256; ++key) {
        if (key == kKeyEscape) continue;
        SCOPED_TRACE(key);
        startScene();
        press(static_cast<unsigned char>(key));
        const std::vector<GlCall>& calls = glDouble.calls;
        ASSERT_GE(calls.size(), 4u);
        EXPECT_STREQ(calls[calls.size() - 2].name, "gluLookAt");
        EXPECT_STREQ(calls.back().name, "glutPostRedisplay");
        EXPECT_EQ(glDouble.matrixMode, static_cast<GLenum>(GL_MODELVIEW));
    }
}

TEST_F(keys, digitsSelectAndZeroClears) {
    for (unsigned char key = '1'; key <= '9'; ++key) {
        press(key);
        EXPECT_EQ(scene.selectedBall, key - '0');  // disabled balls too
    }
    press(':');
    EXPECT_EQ(scene.selectedBall, 9);
    press('0');
    EXPECT_EQ(scene.selectedBall, 0);
    EXPECT_EQ(glDouble.redisplayRequests, 2 * 10 + 1);
}

TEST_F(keys, backspaceSwitchesLightingAndSurvivesOtherCommands) {
    press(kBackspace);
    EXPECT_FALSE(scene.lightingOn);
    EXPECT_FALSE(isEnabled(GL_LIGHTING));
    ASSERT_GE(glDouble.calls.size(), 2u);
    EXPECT_STREQ(glDouble.calls[0].name, "glDisable");
    EXPECT_EQ(glDouble.calls[0].args, std::vector<double>{GL_LIGHTING});
    EXPECT_STREQ(glDouble.calls[1].name, "glutPostRedisplay");

    for (unsigned char key : {'+', '-', '*', '3', 'w', '0'})
        press(key);
    pressSpecial(GLUT_KEY_UP);
    EXPECT_FALSE(scene.lightingOn);
    EXPECT_FALSE(isEnabled(GL_LIGHTING));

    press(kBackspace);
    EXPECT_TRUE(scene.lightingOn);
    EXPECT_TRUE(isEnabled(GL_LIGHTING));
}

TEST_F(isolevel, raisingStopsJustPastNine) {
    press('+', 430);
    EXPECT_EQ(scene.isolevel, 8.999999999999897);
    press('+');
    EXPECT_EQ(scene.isolevel, 9.019999999999897);
    glDouble.redisplayRequests = 0;
    press('+', 5);
    EXPECT_EQ(scene.isolevel, 9.019999999999897);
    EXPECT_EQ(glDouble.redisplayRequests, 2 * 5);  // the command's and the camera's

    press('-', 447);
    EXPECT_EQ(scene.isolevel, 0.08000000000000028);
    press('-');
    EXPECT_EQ(scene.isolevel, 0.08000000000000028);
}

TEST_F(isolevel, loweringFromTheStartStopsJustBelowOneTenth) {
    press('-', 15);
    EXPECT_EQ(scene.isolevel, 0.09999999999999995);
    glDouble.redisplayRequests = 0;
    press('-', 3);
    EXPECT_EQ(scene.isolevel, 0.09999999999999995);
    EXPECT_EQ(glDouble.redisplayRequests, 2 * 3);
}

TEST_F(isolevel, raisingStopsAtNineAndLoweringGoesOnFromOneTenth) {
    scene.isolevel = 9.0;
    press('+');
    EXPECT_EQ(scene.isolevel, 9.0);
    scene.isolevel = 0.1;
    press('-');
    EXPECT_EQ(scene.isolevel, 0.1 - 0.02);
}

TEST_F(gridKeys, halvingStopsAtHalfAUnitAndStillRebuilds) {
    press('/');
    EXPECT_EQ(scene.grid.voxelSize, 1.0);
    EXPECT_EQ(scene.grid.cellsPerAxis, 64);
    press('/');
    EXPECT_EQ(scene.grid.voxelSize, 0.5);
    EXPECT_EQ(scene.grid.cellsPerAxis, 128);
    const std::vector<double> values = fieldValues();
    const GridPoint* oldPoints = scene.grid.points;
    const std::uint64_t version = scene.grid.version;
    glDouble.calls.clear();
    press('/');
    EXPECT_EQ(scene.grid.voxelSize, 0.5);
    EXPECT_EQ(scene.grid.cellsPerAxis, 128);
    // Made again in the storage at hand, and every value computed again.
    EXPECT_EQ(scene.grid.points, oldPoints);
    EXPECT_GT(scene.grid.version, version + 1);
    EXPECT_TRUE(fieldValues() == values);
    expectGridFresh();
    EXPECT_STREQ(glDouble.calls[0].name, "glutPostRedisplay");
}

TEST_F(gridKeys, doublingStopsAtSixteenAndStillRebuilds) {
    press('*', 3);
    EXPECT_EQ(scene.grid.voxelSize, 16.0);
    EXPECT_EQ(scene.grid.cellsPerAxis, 4);
    const std::vector<double> values = fieldValues();
    const std::uint64_t version = scene.grid.version;
    press('*');
    EXPECT_EQ(scene.grid.voxelSize, 16.0);
    EXPECT_EQ(scene.grid.cellsPerAxis, 4);
    EXPECT_GT(scene.grid.version, version + 1);
    EXPECT_TRUE(fieldValues() == values);
    expectGridFresh();
    for (int i = 0; i <= 4; ++i)
        EXPECT_EQ(scene.grid.axis[i], -32.0f + 16.0f * i);
}

TEST_F(gridKeys, gridThatCannotExistKeepsTheOldOne) {
    const GridPoint* points = scene.grid.points;
    const std::vector<double> values = fieldValues();
    // No storage exists for a cell this small: "/" keeps the size, "*" doubles it (some 2 EB of
    // values either way).
    for (unsigned char key : {'/', '*'}) {
        SCOPED_TRACE(key);
        scene.grid.voxelSize = 1e-4;
        glDouble.calls.clear();
        glDouble.redisplayRequests = 0;
        press(key);
        EXPECT_EQ(scene.grid.voxelSize, 1e-4);
        EXPECT_EQ(scene.grid.cellsPerAxis, 32);
        EXPECT_EQ(scene.grid.points, points);
        // The grid at hand and its values stay, and are drawn.
        EXPECT_TRUE(fieldValues() == values);
        EXPECT_EQ(glDouble.redisplayRequests, 2);
    }
    // The program goes on.
    scene.grid.voxelSize = 2.0;
    press('/');
    EXPECT_EQ(scene.grid.cellsPerAxis, 64);
    expectGridFresh();
}

#if !defined(_WIN32) && GTEST_HAS_DEATH_TEST
// Runs in a child: limits the address space so that the grid for voxel size 0.5 cannot be
// had, presses "/" and then "*", and returns the number of failed checks.
int refineBeyondMemory() {
    startScene();
    press('/');  // voxel size 1, N = 64: some 2 MiB
    const GridPoint* points = scene.grid.points;
    const std::vector<double> values = fieldValues();
    const float last = scene.grid.axis[64];

    long pages = 0;
    FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%ld", &pages) != 1) return 100;
    std::fclose(statm);
    const rlim_t headroom = 8L << 20;  // far less than the 18 MiB of the N = 128 grid
    const rlimit limit{pages * sysconf(_SC_PAGESIZE) + headroom,
                       pages * sysconf(_SC_PAGESIZE) + headroom};
    if (setrlimit(RLIMIT_AS, &limit) != 0) return 101;

    int failures = 0;
    const auto check = [&failures](bool ok, const char* what) {
        if (!ok) std::fprintf(stderr, "failed: %s\n", what);
        failures += !ok;
    };
    glDouble.redisplayRequests = 0;
    press('/');
    check(scene.grid.voxelSize == 1.0, "voxel size kept");
    check(scene.grid.cellsPerAxis == 64, "N kept");
    check(scene.grid.points == points, "storage kept");
    check(fieldValues() == values, "values kept");
    check(scene.grid.axis[64] == last, "positions kept");
    check(glDouble.redisplayRequests == 2, "redraw requested");
    press('*');
    check(scene.grid.voxelSize == 2.0 && scene.grid.cellsPerAxis == 32, "coarser grid afterwards");
    check(scene.grid.axis[32] == 32.0f, "coarser grid built");
    return failures;
}

// Whether a lowered address-space limit takes hold; qemu-user accepts the call but limits
// nothing, so the old limit reads back. The lowered limit is restored at once.
bool addressSpaceLimitHolds() {
    rlimit old{};
    if (getrlimit(RLIMIT_AS, &old) != 0 || old.rlim_cur == 0) return false;
    rlimit lowered = old;
    lowered.rlim_cur = old.rlim_cur - 1;
    rlimit now{};
    const bool holds = setrlimit(RLIMIT_AS, &lowered) == 0 && getrlimit(RLIMIT_AS, &now) == 0 &&
                       now.rlim_cur == lowered.rlim_cur;
    setrlimit(RLIMIT_AS, &old);
    return holds;
}
#endif

TEST_F(gridKeysDeathTest, finerGridBeyondMemoryKeepsTheOldOne) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer needs more address space than the limit allows";
#endif
#ifdef _WIN32
    GTEST_SKIP() << "Windows limits a process's memory only through a job, which Wine ignores";
#elif !GTEST_HAS_DEATH_TEST
    GTEST_SKIP() << "no death tests where no process can be started (WebAssembly)";
#else
    if (!addressSpaceLimitHolds())
        GTEST_SKIP() << "no address-space limit takes hold here (as under qemu-user)";
    EXPECT_EXIT(_exit(refineBeyondMemory()), ::testing::ExitedWithCode(0), "");
#endif
}

TEST_F(specialKeys, nothingSelectedDoesNothingAtAll) {
    press('4');
    press('0');
    Ball balls[kBallCount];
    std::memcpy(balls, scene.balls, sizeof balls);
    scene.grid.points[0].value = kUnevaluated;
    glDouble.calls.clear();
    glDouble.redisplayRequests = 0;
    for (int key : {GLUT_KEY_RIGHT, GLUT_KEY_LEFT, GLUT_KEY_UP, GLUT_KEY_DOWN, GLUT_KEY_PAGE_UP,
                    GLUT_KEY_PAGE_DOWN, GLUT_KEY_HOME, GLUT_KEY_END, GLUT_KEY_F1}) {
        pressSpecial(key);
    }
    EXPECT_TRUE(glDouble.calls.empty());
    EXPECT_EQ(glDouble.redisplayRequests, 0);
    press(kKeyDelete);  // only the camera's redraw
    EXPECT_EQ(glDouble.redisplayRequests, 1);
    EXPECT_TRUE(sameBalls(scene.balls, balls));
    EXPECT_EQ(scene.grid.points[0].value, kUnevaluated);
}

TEST_F(specialKeys, movesTheSelectedBallAlongTheWorldAxes) {
    mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 0, 0);  // the camera's turn must not matter
    motion(70, 40);
    press('2');
    const struct {
        int key;
        float x, y, z;
    } steps[] = {{GLUT_KEY_RIGHT, 13, 12, 0},   {GLUT_KEY_UP, 13, 13, 0},
                 {GLUT_KEY_PAGE_UP, 13, 13, 1}, {GLUT_KEY_LEFT, 12, 13, 1},
                 {GLUT_KEY_DOWN, 12, 12, 1},    {GLUT_KEY_PAGE_DOWN, 12, 12, 0}};
    for (const auto& s : steps) {
        SCOPED_TRACE(s.key);
        glDouble.calls.clear();
        pressSpecial(s.key);
        const Ball& ball = scene.balls[1];
        EXPECT_EQ(ball.x, s.x);
        EXPECT_EQ(ball.y, s.y);
        EXPECT_EQ(ball.z, s.z);
        ASSERT_EQ(glDouble.calls.size(), 1u);  // a redraw, and no camera reload
        EXPECT_STREQ(glDouble.calls[0].name, "glutPostRedisplay");
        expectGridFresh();
    }
}

TEST_F(specialKeys, radiusStaysBetweenZeroAndOneHundred) {
    press('1');
    pressSpecial(GLUT_KEY_HOME, 90);
    EXPECT_EQ(scene.balls[0].radius, 100.0f);
    pressSpecial(GLUT_KEY_HOME);
    EXPECT_EQ(scene.balls[0].radius, 100.0f);

    press(kKeyDelete);  // enable it, so that radius 0 reaches the field
    pressSpecial(GLUT_KEY_END, 100);
    EXPECT_EQ(scene.balls[0].radius, 0.0f);
    glDouble.redisplayRequests = 0;
    pressSpecial(GLUT_KEY_END);  // at the limit, still drawn
    EXPECT_EQ(scene.balls[0].radius, 0.0f);
    EXPECT_EQ(glDouble.redisplayRequests, 1);
    expectGridFresh();
    for (double value : fieldValues())
        ASSERT_TRUE(std::isfinite(value));
}

TEST_F(specialKeys, otherKeyWithABallSelectedReevaluatesAndRedraws) {
    press('5');
    scene.balls[0].enabled = true;  // changed behind the field's back
    glDouble.calls.clear();
    glDouble.redisplayRequests = 0;
    pressSpecial(GLUT_KEY_F1);
    expectGridFresh();
    EXPECT_EQ(glDouble.redisplayRequests, 1);
    EXPECT_EQ(countCalls("gluLookAt"), 0);
}

TEST_F(specialKeys, disabledBallMovesButTheFieldStays) {
    press('1');
    const std::vector<double> values = fieldValues();
    pressSpecial(GLUT_KEY_RIGHT);
    pressSpecial(GLUT_KEY_PAGE_UP);
    EXPECT_EQ(scene.balls[0].x, 1.0f);
    EXPECT_EQ(scene.balls[0].z, 1.0f);
    EXPECT_TRUE(fieldValues() == values);
}

TEST_F(deleteKey, twiceRestoresEveryFieldValueExactly) {
    press('2');
    const std::vector<double> values = fieldValues();
    glDouble.calls.clear();
    press(kKeyDelete);
    EXPECT_FALSE(scene.balls[1].enabled);
    EXPECT_STREQ(glDouble.calls[0].name, "glutPostRedisplay");
    EXPECT_FALSE(fieldValues() == values);
    expectGridFresh();
    press(kKeyDelete);
    EXPECT_TRUE(scene.balls[1].enabled);
    EXPECT_TRUE(fieldValues() == values);
}

}  // namespace
